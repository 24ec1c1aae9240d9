// Pure rules of the system-information document, kept apart from the tree code so they can be
// tested on their own. Internal to the module: nothing here is exported.
//
// All functions are reentrant; the only shared data are constant tables and the process's
// global locale, which callers must not change while a document is being built.
#pragma once

#include <array>
#include <locale>
#include <string>
#include <string_view>

namespace Quendal::Document {

// Firmware components that count as updatable without an agent on the host. Product
// configuration: upper-case identifiers, compared without regard to letter case.
inline constexpr std::array<std::string_view, 24> kAgentlessComponents = {
    // management controller images, three generations with primary and backup banks
    "MGMTCTL-G1-PRIMARY",
    "MGMTCTL-G1-BACKUP",
    "MGMTCTL-G2-PRIMARY",
    "MGMTCTL-G2-BACKUP",
    "MGMTCTL-G3-PRIMARY",
    "MGMTCTL-G3-BACKUP",
    "MGMTCTL-G3-RECOVERY",
    // system firmware
    "SYSFW-PRIMARY",
    "SYSFW-BACKUP",
    // service images
    "DIAG-IMAGE",
    "DIAG-IMAGE-EXT",
    "PREBOOT-ENV",
    "UPDATE-TOOL",
    // driver bundles
    "DRVPACK-WIN",
    "DRVPACK-LNX",
    "DRVPACK-HYP",
    // chassis infrastructure
    "CHASSIS-SWITCH-FW",
    "SMM-FW",
    "CMM-FW",
    // programmable logic
    "CPLD-SYSTEM",
    "CPLD-BACKPLANE",
    "CPLD-PSU",
    "FPGA-PRIMARY",
    "FPGA-BACKUP",
};

// True when software_id equals one list entry, letter case aside, under the global locale's
// ctype<char>. Whole strings only: a part or a padded identifier does not match.
bool IsAgentlessComponent(const std::string& software_id);

// The same under the given ctype<char>, for callers that test many identifiers under one locale
// and so look the facet up once.
bool IsAgentlessComponent(const std::string& software_id, const std::ctype<char>& ctype);

// Drops every byte whose value, read as a signed char, lies outside 32..126 (control bytes,
// DEL and every byte of a multi-byte UTF-8 sequence). Kept bytes keep their order.
void KeepPrintableBytes(std::string& text);

}  // namespace Quendal::Document
