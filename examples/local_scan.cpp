// Scans the local host through the default backend (its OS, its drivers and its disk drivers),
// builds the host's document and prints its package listing and the document as XML. Each
// scan's status is printed to the standard error stream with its meaning.
#include <boost/property_tree/xml_parser.hpp>
#include <iostream>

#include "StatusText.h"
#include "SystemInfo.h"

namespace {

int Report(const char* scan, int status, std::size_t found) {
    std::cerr << scan << ": status " << status << " (" << Quendal::Tool::StatusText(status) << "), "
              << found << " found\n";
    return status;
}

}  // namespace

int main() {
    std::pair<std::string, std::string> os_info;
    const int os_status = SystemInfoScan::GetOSInfo(os_info);
    Report("GetOSInfo", os_status, os_status == 0 ? 1 : 0);

    std::vector<Tesmora::DriverData> drivers;
    const int driver_status = SystemInfoScan::GetDriverData(drivers, true);
    Report("GetDriverData", driver_status, drivers.size());

    std::vector<Tesmora::TSOptions::SoftwareIdentity_> identities;
    const int disk_status = SystemInfoScan::GetDiskDriverSoftwareIdentity(identities);
    Report("GetDiskDriverSoftwareIdentity", disk_status, identities.size());

    // The host's own machine type needs a BMC to ask; a local scan leaves it empty.
    const std::pair<std::string, std::string> machine_type;
    boost::property_tree::ptree tree;
    if (os_status == 0) {
        SystemInfoPTree::GenerateSystemInfoPTree(os_info, machine_type, drivers, identities, tree,
                                                 "");
    } else {
        // Without OS information the document carries the identities only.
        SystemInfoPTree::GenerateSystemInfoPTree(machine_type, identities, tree, "");
    }

    std::stringstream listing;
    try {
        SystemInfoPTree::PrintPropertyTree(tree, listing);
    } catch (const boost::property_tree::ptree_bad_path& error) {
        std::cerr << "No packages to list: " << error.what() << '\n';
    }
    std::cout << listing.str() << '\n';
    boost::property_tree::write_xml(
        std::cout, tree, boost::property_tree::xml_writer_make_settings<std::string>(' ', 2));
    std::cout << '\n';
    return 0;
}
