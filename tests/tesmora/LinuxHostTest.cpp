#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tesmora/DeviceCollector.h"
#include "tesmora/linux/LinuxHost.h"

namespace {

namespace fs = std::filesystem;
using namespace Tesmora;

class LinuxHostTest : public ::testing::Test {
protected:
    void TearDown() override { fs::remove_all(root_); }
    // A file with null content is left out.
    void Write(std::initializer_list<std::pair<fs::path, const char*>> files) {
        for (const auto& [rel, content] : files) {
            fs::create_directories((root_ / rel).parent_path());
            if (content) {
                std::ofstream(root_ / rel) << content;
            }
        }
    }
    void Link(const fs::path& rel, const fs::path& target) {
        fs::create_directories((root_ / rel).parent_path());
        fs::create_symlink(target, root_ / rel);
    }
    const fs::path root_ = fs::temp_directory_path() / std::to_string(std::random_device{}());
};

TEST_F(LinuxHostTest, ReadsOsTypeFromOsRelease) {
    // etc/os-release, usr/lib/os-release (absent when null), result, os type
    const std::tuple<const char*, const char*, int, const char*> cases[] = {
        {R"(PRETTY_NAME="Q \"x\" \\ \$y \`z\` \n")", nullptr, 0, R"(Q "x" \ $y `z` \n)"},
        {"# PRETTY_NAME=x\n\n  NAME=Alp\nVERSION='3 \"b\" \\c'\n", nullptr, 0, "Alp 3 \"b\" \\c"},
        {"PRETTY_NAME=\"\"\nVERSION=\"9 (x)\"\n", nullptr, 0, "9 (x)"},
        {nullptr, "NAME=Debian\nVERSION=12\nPRETTY_NAME=\"Debian 12\"\n", 0, "Debian 12"},
        // A present /etc file is used alone, even when it names nothing.
        {"ID=x\n# NAME=Hidden\n", "PRETTY_NAME=Other\n", 2, "untouched"},
        {nullptr, nullptr, 2, "untouched"},
    };
    for (const auto& [etc, usr, result, expected] : cases) {
        fs::remove_all(root_);
        Write({{"etc/os-release", etc}, {"usr/lib/os-release", usr}});
        std::string os_type = "untouched";
        EXPECT_EQ(LinuxHost(root_).ReadOsType(os_type), result);
        EXPECT_EQ(os_type, expected);
    }
}

TEST_F(LinuxHostTest, AppendsDriversOfEachSetInFileOrder) {
    LinuxHost host(root_);
    Write({{"proc/sys/kernel/osrelease", "6.1.0-test\n"},
           {"proc/modules",
            "sd_mod 69632 3 - Live 0x0\nsnd_hda_intel 57344 2 snd_hda_codec, Live 0x0\n\n"
            "nvidia 56807424 1 - Live 0x0 (POE)\ndm_mod 184320 0 - Live 0x0\n"},
           {"sys/module/nvidia/version", "535.129.03\n"},
           {"sys/module/libata/version", " 3.00 \n"},
           {"sys/module/usb_storage/version", "1.0\n"},
           {"lib/modules/6.1.0-test/modules.dep",
            "kernel/scsi/sd_mod.ko.xz: kernel/scsi/scsi_mod.ko.xz\nupdates/dkms/nvidia.ko:\n"
            "kernel/sound/snd-hda-intel.ko.zst: kernel/sound/snd-hda.ko.zst\n"},
           {"lib/modules/6.1.0-test/modules.builtin",
            "kernel/ata/libata.ko\nkernel/scsi/sd_mod.ko\nkernel/usb/xhci-pci.ko\n"}});
    // Bus drivers of a loaded module (by name, by module link), built in, of an unloaded module.
    fs::create_directories(root_ / "sys/bus/pci/drivers/snd_hda_intel");
    Link("sys/bus/scsi/drivers/sd/module", "../../../../module/sd_mod");
    fs::create_directories(root_ / "sys/bus/pci/drivers/ahci");
    Link("sys/bus/usb/drivers/usb-storage/module", "../../../../module/usb_storage");
    // name|description|file name|version|provider, after the caller's own entry; drivers of the
    // kernel tree without a version of their own take the kernel's
    const std::vector<std::string> expected = {
        "kept||||",
        "sd_mod||/lib/modules/6.1.0-test/kernel/scsi/sd_mod.ko.xz|6.1.0-test|kernel",
        "snd_hda_intel||/lib/modules/6.1.0-test/kernel/sound/"
        "snd-hda-intel.ko.zst|6.1.0-test|kernel",
        "nvidia||/lib/modules/6.1.0-test/updates/dkms/nvidia.ko|535.129.03|external",
        "dm_mod||||",
        "ahci|pci bus driver||6.1.0-test|built-in",
        "usb-storage|usb bus driver||1.0|built-in",
        "libata|||3.00|built-in",
        "xhci_pci|||6.1.0-test|built-in"};
    for (const auto set_type :
         {DriverInfo::DRIVERS_LOADED, DriverInfo::DRIVERS_BOOT, DriverInfo::DRIVERS_ALL}) {
        SCOPED_TRACE(set_type);
        const int count = set_type == DriverInfo::DRIVERS_ALL ? 9 : 7;  // only all adds builtins
        std::vector<DriverData> drivers = {{"kept", "", "", "", ""}};
        ASSERT_EQ(host.ListDrivers(drivers, set_type), 0);
        std::vector<std::string> got;
        for (const DriverData& d : drivers) {
            got.push_back(d.name + "|" + d.description + "|" + d.file_name + "|" + d.version + "|" +
                          d.provider);
        }
        EXPECT_EQ(got, std::vector<std::string>(expected.begin(), expected.begin() + count));
    }
    // Without module support the bus drivers remain; an unreadable module list is a failure.
    std::vector<DriverData> drivers;
    fs::remove(root_ / "proc/modules");
    EXPECT_EQ(host.ListDrivers(drivers, DriverInfo::DRIVERS_LOADED), 0);
    fs::remove_all(root_ / "sys/bus");
    EXPECT_EQ(host.ListDrivers(drivers, DriverInfo::DRIVERS_ALL), DriverInfo::kListUnavailable);
    fs::create_directory(root_ / "proc/modules");
    EXPECT_EQ(host.ListDrivers(drivers, DriverInfo::DRIVERS_LOADED), DriverInfo::kListFailed);
    EXPECT_EQ(drivers.size(), 4u);  // the bus drivers, added once
}

TEST_F(LinuxHostTest, GroupsDisksByDriver) {
    LinuxHost host(root_);
    std::vector<TSOptions::SoftwareIdentity_> identities(1);
    identities[0].name = "kept";
    EXPECT_EQ(host.ListDiskDrivers(identities), TSSystemDevice::DeviceCollector::kCollectFailed);
    // They hold no disk of their own, even with a driver bound.
    for (const char* dev : {"loop0", "ram0", "zram0", "dm-0", "md127", "nbd0", "sr0"}) {
        Link(std::string("sys/block/") + dev + "/device/driver", "../../../bus/any/drivers/v");
    }
    fs::create_directories(root_ / "sys/block/vdy/device");  // no driver bound
    EXPECT_EQ(host.ListDiskDrivers(identities), TSSystemDevice::DeviceCollector::kNoDiskController);

    Write({{"proc/sys/kernel/osrelease", "6.1.0-test\n"},
           {"sys/module/sd_mod/version", "2.0\n"},
           {"sys/module/xen_blkfront/version", "0.7\n"}});
    Link("sys/block/sdb/device/driver", "../../../bus/any/drivers/sd");
    Link("sys/block/sda/device/driver", "../../../bus/any/drivers/sd");
    // NVMe namespaces find their driver on the controller, one "device" link further down.
    Link("sys/block/nvme0n1/device/device/driver", "../../../../bus/any/drivers/nvme");
    Link("sys/block/xvda/device/driver", "../../../bus/any/drivers/xen-blkfront");
    Link("sys/bus/any/drivers/sd/module", "../../../../module/sd_mod");
    ASSERT_EQ(host.ListDiskDrivers(identities), 0);
    std::vector<std::string> got;
    for (const auto& i : identities) {
        got.push_back(i.name + "|" + i.software_id + "|" + i.version_string + "|" + i.description +
                      "|" + i.target_device + "|" + i.classifications +
                      i.classification_descriptions + i.manufacturer + i.software_status +
                      i.is_pldm_update_supported);
    }
    const std::string shared = "2DriverLinuxEnabled0";  // what every disk driver's record says
    const std::vector<std::string> expected = {
        "kept|||||",
        "nvme disk driver|NVME|6.1.0-test|Disk driver for nvme0n1|nvme0n1|" + shared,
        "sd disk driver|SD|2.0|Disk driver for sda, sdb|sda|" + shared,
        "xen-blkfront disk driver|XEN-BLKFRONT|0.7|Disk driver for xvda|xvda|" + shared,
    };
    EXPECT_EQ(got, expected);
}

}  // namespace
