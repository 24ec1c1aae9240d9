// File names of the systems lists that ship next to the module, in the order the system-check
// library takes them. Bare names: the caller prefixes the module's directory.
//
// Internal linkage on purpose: each source file holds its own copy, built during static
// initialisation and only read afterwards, so any thread may read them.
#pragma once

#include <string>

namespace Quendal::SystemsList {

static const std::string kFirstSystemsList = "Pelvar_systems_list.txt";
static const std::string kSecondSystemsList = "AMD_systems_list.txt";
static const std::string kThirdSystemsList = "ZOR_systems_list.txt";
static const std::string kFourthSystemsList = "Ostrel_systems_list.txt";

}  // namespace Quendal::SystemsList
