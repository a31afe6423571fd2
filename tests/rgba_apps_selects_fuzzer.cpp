// Checks rgba_apps_selects against a plain statement of the rule, written
// without GLib, for any value and program name.
//
// Input: one flags byte (bit 0: the value is set, bit 1: there is a program
// name), then the value, a NUL byte, and the program name.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "rgba_apps_selects.h"

namespace
{

// Inclusion: on exactly when some entry equals the name.  Exclusion (first
// entry "allbut"): on exactly when no entry, the keyword included, equals it.
bool
expected_decision (const std::string *value, const std::string *name)
{
  if (value == nullptr)
    return false;

  std::vector<std::string> entries;
  if (!value->empty ())
    {
      std::string::size_type start = 0;
      for (;;)
        {
          const std::string::size_type colon = value->find (':', start);
          entries.push_back (value->substr (start, colon - start));
          if (colon == std::string::npos)
            break;
          start = colon + 1;
        }
    }

  const bool exclusion = !entries.empty () && entries.front () == "allbut";
  bool listed = false;
  for (const std::string &entry : entries)
    listed = listed || (name != nullptr && entry == *name);
  return exclusion ? !listed : listed;
}

} // namespace

extern "C" int
LLVMFuzzerTestOneInput (const uint8_t *data, size_t size)
{
  if (size == 0)
    return 0;

  const uint8_t flags = data[0];
  const std::string rest (reinterpret_cast<const char *> (data + 1), size - 1);
  const std::string::size_type nul = rest.find ('\0');
  const std::string value = rest.substr (0, nul);
  std::string name = nul == std::string::npos ? std::string () : rest.substr (nul + 1);
  name.resize (name.find ('\0') == std::string::npos ? name.size () : name.find ('\0'));

  const std::string *value_or_null = (flags & 1) != 0 ? &value : nullptr;
  const std::string *name_or_null = (flags & 2) != 0 ? &name : nullptr;
  const bool decision
      = rgba_apps_selects (value_or_null != nullptr ? value_or_null->c_str () : nullptr,
                           name_or_null != nullptr ? name_or_null->c_str () : nullptr);
  if (decision != expected_decision (value_or_null, name_or_null))
    __builtin_trap ();
  return 0;
}
