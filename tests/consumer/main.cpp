// Builds, prints and fails to print a document through nothing but the public headers.
#include <iostream>

#include "SystemInfo.h"
#include "SystemInfoVersion.h"

int main() {
    const std::string parts = std::to_string(QUENDAL_SYSTEM_INFO_VERSION_MAJOR) + "." +
                              std::to_string(QUENDAL_SYSTEM_INFO_VERSION_MINOR) + "." +
                              std::to_string(QUENDAL_SYSTEM_INFO_VERSION_PATCH);
    if (parts != QUENDAL_SYSTEM_INFO_VERSION || parts != QUENDAL_EXPECTED_VERSION) {
        std::cerr << "the header gives version " << QUENDAL_SYSTEM_INFO_VERSION << " (" << parts
                  << "), the module is " << QUENDAL_EXPECTED_VERSION << '\n';
        return 1;
    }

    const std::vector<CMMInfo> cmms{{"Q721", "SN0001", "CMM", "1.4", "", "Firmware for Primary CMM",
                                     "Primary CMM Firmware Software Identity Information"}};
    boost::property_tree::ptree tree;
    SystemInfoPTree::GenerateSystemInfoPTree(cmms, tree, "CMM");

    std::stringstream listing;
    SystemInfoPTree::PrintPropertyTree(tree, listing);
    const std::string expected =
        "    NAME:  \tPrimary CMM Firmware Software Identity Information\n"
        "    SOFTWAREID:  \tCMM\n"
        "    VERSION:  \t1.4\n"
        "    CLASSIFICATION:  \t\n"
        "    DESCRIPTION:  \tFirmware for Primary CMM\n";
    if (listing.str() != expected || tree.get<std::string>("CONTENT.MT") != "Q721") {
        std::cerr << "unexpected listing:\n" << listing.str();
        return 1;
    }

    try {
        std::stringstream empty;
        SystemInfoPTree::PrintPropertyTree(boost::property_tree::ptree(), empty);
    } catch (const boost::property_tree::ptree_bad_path& error) {
        std::cout << "caught: " << error.what() << '\n';
        return std::string(error.what()) == "No such node (CONTENT.PACKAGES.PACKAGE)" ? 0 : 1;
    }
    std::cerr << "the printer did not throw\n";
    return 1;
}
