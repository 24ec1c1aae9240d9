#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tesmora/DeviceCollector.h"
#include "tesmora/linux/LinuxHost.h"

namespace {

namespace fs = std::filesystem;
using Tesmora::DriverData;
using Tesmora::DriverInfo;
using Tesmora::LinuxHost;

class LinuxHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        root_ = fs::temp_directory_path() / ("quendal-linuxhost-" + std::to_string(::getpid()) +
                                             "-" + std::to_string(counter++));
        fs::create_directories(root_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    void Write(std::initializer_list<std::pair<fs::path, std::string>> files) {
        for (const auto& [rel, content] : files) {
            fs::create_directories((root_ / rel).parent_path());
            std::ofstream(root_ / rel) << content;
        }
    }
    void Link(const fs::path& rel, const fs::path& target) {
        fs::create_directories((root_ / rel).parent_path());
        fs::create_symlink(target, root_ / rel);
    }
    fs::path root_;
};

struct OsCase {
    const char* etc;  // etc/os-release, absent when null
    const char* usr;  // usr/lib/os-release, absent when null
    int result;
    const char* os_type;
};

TEST_F(LinuxHostTest, ReadsOsTypeFromOsRelease) {
    const OsCase cases[] = {
        {"NAME=Debian\nVERSION=12\nPRETTY_NAME=\"Debian 12 (bookworm)\"\n", nullptr, 0,
         "Debian 12 (bookworm)"},
        {R"(PRETTY_NAME="Q \"x\" \\ \$y \`z\` \n")", nullptr, 0, R"(Q "x" \ $y `z` \n)"},
        {R"(PRETTY_NAME='a "b" \c')", nullptr, 0, R"(a "b" \c)"},
        {"# PRETTY_NAME=\"Hidden\"\n\n  NAME=Alpine\nVERSION='3.19'\n", nullptr, 0, "Alpine 3.19"},
        {"PRETTY_NAME=\"\"\nNAME=\"Foo\"\n", nullptr, 0, "Foo"},
        {"ID=x\nVERSION=\"9 (x)\"\n", nullptr, 0, "9 (x)"},
        {nullptr, "PRETTY_NAME=\"Fallback OS\"\n", 0, "Fallback OS"},
        // A present /etc file is used alone, even when it names nothing.
        {"ID=x\n", "PRETTY_NAME=Other\n", 2, "untouched"},
        {"ID=debian\n# NAME=Debian\n", nullptr, 2, "untouched"},
        {nullptr, nullptr, 2, "untouched"},
    };
    for (const OsCase& c : cases) {
        SCOPED_TRACE(c.etc ? c.etc : c.usr ? c.usr : "(no file)");
        fs::remove_all(root_);
        for (const auto& [rel, text] :
             {std::pair("etc/os-release", c.etc), {"usr/lib/os-release", c.usr}}) {
            if (text) {
                Write({{rel, text}});
            }
        }
        std::string os_type = "untouched";
        EXPECT_EQ(LinuxHost(root_).ReadOsType(os_type), c.result);
        EXPECT_EQ(os_type, c.os_type);
    }
}

class LinuxHostModulesTest : public LinuxHostTest {
protected:
    void SetUp() override {
        LinuxHostTest::SetUp();
        Write({
            {"proc/sys/kernel/osrelease", "6.1.0-test\n"},
            {"proc/modules",
             "sd_mod 69632 3 - Live 0x0000000000000000\n"
             "snd_hda_intel 57344 2 snd_hda_codec, Live 0x0000000000000000\n"
             "\n"
             "nvidia 56807424 1 - Live 0x0000000000000000 (POE)\n"
             "dm_mod 184320 0 - Live 0x0000000000000000\n"},
            {"sys/module/nvidia/version", "535.129.03\n"},
            {"sys/module/libata/version", " 3.00 \n"},
            {"lib/modules/6.1.0-test/modules.dep",
             "kernel/drivers/scsi/sd_mod.ko.xz: kernel/drivers/scsi/scsi_mod.ko.xz\n"
             "kernel/sound/pci/hda/snd-hda-intel.ko.zst: kernel/sound/pci/hda/snd-hda.ko.zst\n"
             "updates/dkms/nvidia.ko:\n"},
            {"lib/modules/6.1.0-test/modules.builtin",
             "kernel/drivers/ata/libata.ko\nkernel/drivers/scsi/sd_mod.ko\n"
             "kernel/drivers/usb/host/xhci-pci.ko\n"},
            {"sys/module/usb_storage/version", "1.0\n"},
        });
        // Bus drivers: one of a loaded module by name, one by module link, one built in, one of
        // a module that is not loaded.
        fs::create_directories(root_ / "sys/bus/pci/drivers/snd_hda_intel");
        Link("sys/bus/scsi/drivers/sd/module", "../../../../module/sd_mod");
        fs::create_directories(root_ / "sys/bus/pci/drivers/ahci");
        Link("sys/bus/usb/drivers/usb-storage/module", "../../../../module/usb_storage");
    }
};

// name, description, file_name, version, provider
const DriverData kExpectedDrivers[] = {
    {"sd_mod", "", "/lib/modules/6.1.0-test/kernel/drivers/scsi/sd_mod.ko.xz", "", "kernel"},
    {"snd_hda_intel", "", "/lib/modules/6.1.0-test/kernel/sound/pci/hda/snd-hda-intel.ko.zst", "",
     "kernel"},
    {"nvidia", "", "/lib/modules/6.1.0-test/updates/dkms/nvidia.ko", "535.129.03", "external"},
    {"dm_mod", "", "", "", ""},
    {"ahci", "pci bus driver", "", "", "built-in"},
    {"usb-storage", "usb bus driver", "", "1.0", "built-in"},
    {"libata", "", "", "3.00", "built-in"},
    {"xhci_pci", "", "", "", "built-in"},
};

TEST_F(LinuxHostModulesTest, AppendsDriversOfEachSetInFileOrder) {
    const std::pair<DriverInfo::DriverInfoSetType, std::size_t> cases[] = {
        {DriverInfo::DRIVERS_LOADED, 6},
        {DriverInfo::DRIVERS_BOOT, 6},
        {DriverInfo::DRIVERS_ALL, 8}};
    for (const auto& [set_type, count] : cases) {
        SCOPED_TRACE(set_type);
        std::vector<DriverData> drivers(1);
        drivers[0].name = "kept";
        ASSERT_EQ(LinuxHost(root_).ListDrivers(drivers, set_type), 0);
        ASSERT_EQ(drivers.size(), count + 1);
        EXPECT_EQ(drivers[0].name, "kept");
        const auto fields = [](const DriverData& d) {
            return std::tie(d.name, d.description, d.file_name, d.version, d.provider);
        };
        for (std::size_t i = 0; i < count; ++i) {
            EXPECT_EQ(fields(drivers[i + 1]), fields(kExpectedDrivers[i]));
        }
    }
}

TEST_F(LinuxHostModulesTest, ReportsUnavailableAndUnreadableModuleLists) {
    std::vector<DriverData> drivers;
    fs::remove(root_ / "proc/modules");
    EXPECT_EQ(LinuxHost(root_).ListDrivers(drivers, DriverInfo::DRIVERS_LOADED), 0);
    EXPECT_EQ(drivers.size(), 4u);  // a kernel without modules still has its bus drivers
    drivers.clear();
    fs::remove_all(root_ / "sys/bus");
    EXPECT_EQ(LinuxHost(root_).ListDrivers(drivers, DriverInfo::DRIVERS_ALL),
              DriverInfo::kListUnavailable);
    fs::create_directory(root_ / "proc/modules");
    EXPECT_EQ(LinuxHost(root_).ListDrivers(drivers, DriverInfo::DRIVERS_LOADED),
              DriverInfo::kListFailed);
    EXPECT_TRUE(drivers.empty());

    fs::remove(root_ / "proc/modules");
    Write({{"proc/modules", ""}});
    fs::remove(root_ / "lib/modules/6.1.0-test/modules.builtin");
    EXPECT_EQ(LinuxHost(root_).ListDrivers(drivers, DriverInfo::DRIVERS_ALL), 0);
    EXPECT_TRUE(drivers.empty());
}

class LinuxHostDisksTest : public LinuxHostTest {
protected:
    // NVMe namespaces find their driver on the controller, one "device" link further down.
    void Disk(const std::string& dev, const std::string& driver, bool nvme = false) {
        fs::create_directories(root_ / "sys/block" / dev / "device");
        Link(fs::path("sys/block") / dev / (nvme ? "device/device/driver" : "device/driver"),
             (nvme ? "../../../../" : "../../../") + ("bus/any/drivers/" + driver));
        fs::create_directories(root_ / "sys/bus/any/drivers" / driver);
    }
};

TEST_F(LinuxHostDisksTest, GroupsDisksByDriver) {
    Write({{"proc/sys/kernel/osrelease", "6.1.0-test\n"},
           {"sys/module/sd_mod/version", "2.0\n"},
           {"sys/module/xen_blkfront/version", "0.7\n"}});
    Disk("sdb", "sd");
    Disk("sda", "sd");
    Disk("vda", "virtio_blk");
    Disk("nvme0n1", "nvme", true);
    Disk("xvda", "xen-blkfront");
    Link("sys/bus/any/drivers/sd/module", "../../../../module/sd_mod");
    for (const char* skipped : {"loop0", "ram0", "zram0", "dm-0", "md127", "nbd0", "sr0"}) {
        Disk(skipped, std::string("virtual_") + skipped);
    }
    fs::create_directories(root_ / "sys/block/vdz");         // no device link
    fs::create_directories(root_ / "sys/block/vdy/device");  // no driver bound

    std::vector<Tesmora::TSOptions::SoftwareIdentity_> identities(1);
    ASSERT_EQ(LinuxHost(root_).ListDiskDrivers(identities), 0);
    // product, software id, version, description, target device
    const std::vector<std::vector<std::string>> expected = {
        {"nvme", "NVME", "6.1.0-test", "Disk driver for nvme0n1", "nvme0n1"},
        {"sd", "SD", "2.0", "Disk driver for sda, sdb", "sda"},
        {"virtio_blk", "VIRTIO_BLK", "6.1.0-test", "Disk driver for vda", "vda"},
        {"xen-blkfront", "XEN-BLKFRONT", "0.7", "Disk driver for xvda", "xvda"},
    };
    ASSERT_EQ(identities.size(), expected.size() + 1);
    EXPECT_EQ(identities[0].name, "");
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& got = identities[i + 1];
        const std::string& driver = expected[i][0];
        SCOPED_TRACE(driver);
        EXPECT_EQ(got.product_name, driver);
        EXPECT_EQ(got.software_id, expected[i][1]);
        EXPECT_EQ(got.version_string, expected[i][2]);
        EXPECT_EQ(got.description, expected[i][3]);
        EXPECT_EQ(got.target_device, expected[i][4]);
        EXPECT_EQ(got.name, driver + " disk driver");
        EXPECT_EQ(got.element_name, got.name);
        EXPECT_EQ(got.instance_id, "disk-driver:" + driver);
        EXPECT_EQ(got.classifications + got.classification_descriptions + got.manufacturer +
                      got.software_status + got.is_pldm_update_supported + got.identity_info_type +
                      got.identity_info_value + got.associated_adapter_slot,
                  "2DriverLinuxEnabled0");
        EXPECT_EQ(got.slot_type, Tesmora::TSOptions::SLOT_ONBOARD);
    }
}

TEST_F(LinuxHostDisksTest, ReportsNoDisksAndMissingBlockDirectory) {
    using Tesmora::TSSystemDevice::DeviceCollector;
    std::vector<Tesmora::TSOptions::SoftwareIdentity_> identities;
    EXPECT_EQ(LinuxHost(root_).ListDiskDrivers(identities), DeviceCollector::kCollectFailed);
    Disk("loop0", "loop");
    EXPECT_EQ(LinuxHost(root_).ListDiskDrivers(identities), DeviceCollector::kNoDiskController);
    EXPECT_TRUE(identities.empty());
}

TEST(LinuxHostRealRoot, DescribesThisMachine) {
    LinuxHost host;
    std::string os_type;
    EXPECT_EQ(host.ReadOsType(os_type), 0);
    EXPECT_FALSE(os_type.empty());

    // Every running Linux kernel registers some drivers, built in or loaded.
    std::vector<DriverData> drivers;
    EXPECT_EQ(host.ListDrivers(drivers, DriverInfo::DRIVERS_LOADED), 0);
    EXPECT_FALSE(drivers.empty());
}

}  // namespace
