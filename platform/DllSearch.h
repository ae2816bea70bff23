#pragma once
// Where this process takes libraries from: never the current folder or PATH, where anyone could plant one.

#include <windows.h>

#include <initializer_list>
#include <string>

namespace varnok {

// Called first thing in each of our programs. Returns false only when neither the system's default directories
// nor the current folder's removal could be set.
bool restrictProcessDllSearch();

// Loads `path` on systems without the safe search flags: each library it imports that is not loaded yet is
// loaded first by full path, from the first of `folders` holding it, so the system's own search (current folder,
// PATH) is never asked. ERROR_MOD_NOT_FOUND when an import is in none of them.
HMODULE loadWithImportsFrom(const std::wstring& path, std::initializer_list<std::wstring> folders, DWORD& error);

}  // namespace varnok
