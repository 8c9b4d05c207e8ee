// Build tool: writes the registry entries of Mobi.dll's registration as a
// table, for the Windows installer's registry table.
//
//   mobi_registry_table OUT.txt PATH FOLDER
//
// PATH and FOLDER stand for the installed DLL's path and folder (the
// installer's own placeholders). One line per entry, six fields separated by
// "|" (an empty name is the key's default value):
//   typelib or class | shared or own | key | name | data | value or key
// Every text is printable ASCII without a "|".
#include <windows.h>

#include <cstdio>
#include <string>

#include "automation/registry_entries.h"

namespace {

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    if (c < 0x20 || c > 0x7E || c == L'|') return {};
    out += static_cast<char>(c);
  }
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  using mobi::automation::RegistryEntry;
  if (argc != 4) {
    std::fprintf(stderr, "usage: mobi_registry_table OUT.txt PATH FOLDER\n");
    return 2;
  }
  std::string table;
  for (const RegistryEntry& e : mobi::automation::RegistryEntries(argv[2], argv[3])) {
    const std::string key = Narrow(e.key), name = Narrow(e.name), data = Narrow(e.data);
    if (key.empty() || name.size() != e.name.size() || data.size() != e.data.size()) {
      std::fprintf(stderr, "mobi_registry_table: an entry is not printable ASCII without \"|\"\n");
      return 1;
    }
    table += (e.part == RegistryEntry::Part::TypeLib ? "typelib|" : "class|");
    table += (e.shared ? "shared|" : "own|");
    table += key + "|" + name + "|" + data + "|" + (e.keyOnly ? "key" : "value") + "\n";
  }
  FILE* f = _wfopen(argv[1], L"wb");
  if (!f) {
    std::fprintf(stderr, "mobi_registry_table: cannot write %ls\n", argv[1]);
    return 1;
  }
  const bool ok = std::fwrite(table.data(), 1, table.size(), f) == table.size();
  if (std::fclose(f) != 0 || !ok) {
    std::fprintf(stderr, "mobi_registry_table: cannot write %ls\n", argv[1]);
    return 1;
  }
  return 0;
}
