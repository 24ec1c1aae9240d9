// Where this module's own file lies, so that files shipped next to it can be found whatever the
// process's working directory. One implementation per platform (linux/, windows/).
//
// Reentrant; asks the system afresh on every call and throws nothing but std::bad_alloc.
#pragma once

#include <string>

namespace Quendal::ModuleDirectory {

// Opaque handle of a loaded module (the base address of its image); null when unknown.
using ModuleHandle = void*;

// The handle of the module that holds this code.
ModuleHandle GetSelfModuleHandle();

// The directory of module's file including its trailing separator: the text up to and
// including the last separator of the file's path, the whole path when it has none, and an
// empty text when the path cannot be read.
std::string GetModuleDirectory(ModuleHandle module);

}  // namespace Quendal::ModuleDirectory
