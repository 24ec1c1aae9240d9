// Builds the document of a sample server from a few hand-written records and prints its package
// listing and the document itself as XML.
#include <boost/property_tree/xml_parser.hpp>
#include <iostream>

#include "SystemInfo.h"

int main() {
    const std::pair<std::string, std::string> os_info{"Windows Server 2019", "64 bit"};
    const std::pair<std::string, std::string> machine_type{"QX06", "J30A1B2C"};

    Tesmora::TSOptions::SoftwareIdentity_ controller;
    controller.name = "Management Controller Primary Firmware";
    controller.software_id = "MGMTCTL-G3-PRIMARY";
    controller.version_string = "4.20";
    controller.classifications = "10";
    controller.description = "Management controller firmware, primary bank";
    controller.instance_id = "fw-mgmtctl-primary";
    controller.is_pldm_update_supported = "0";

    Tesmora::TSOptions::SoftwareIdentity_ adapter;
    adapter.name = "Ethernet Adapter Firmware";
    adapter.software_id = "NIC-25G-2P";
    adapter.version_string = "22.31.1014";
    adapter.classifications = "10";
    adapter.description = "Dual-port 25 GbE adapter\tfirmware";
    adapter.instance_id = "fw-nic-slot3";
    adapter.associated_adapter_slot = "3";
    adapter.slot_type = Tesmora::TSOptions::SLOT_PCIE;
    adapter.is_pldm_update_supported = "1";

    Tesmora::DriverData storage_driver;
    storage_driver.name = "stornvme";
    storage_driver.description = "Standard NVM Express storage driver";
    storage_driver.version = "10.0.17763.1";

    boost::property_tree::ptree tree;
    SystemInfoPTree::GenerateSystemInfoPTree(os_info, machine_type, {storage_driver},
                                             {controller, adapter}, tree, "BMC");

    std::stringstream listing;
    SystemInfoPTree::PrintPropertyTree(tree, listing);
    std::cout << listing.str() << '\n';

    boost::property_tree::write_xml(
        std::cout, tree, boost::property_tree::xml_writer_make_settings<std::string>(' ', 2));
    std::cout << '\n';
    return 0;
}
