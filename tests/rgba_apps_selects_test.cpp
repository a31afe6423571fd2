#include <gtest/gtest.h>

#include "rgba_apps_selects.h"

namespace
{

struct selection_case
{
  const char *value;   // GTK_RGBA_APPS, nullptr when unset
  const char *prgname; // nullptr when GLib reports none
  bool selected;
};

std::ostream &
operator<< (std::ostream &os, const selection_case &c)
{
  return os << "GTK_RGBA_APPS=" << (c.value ? c.value : "(unset)")
            << " prgname=" << (c.prgname ? c.prgname : "(absent)");
}

class rgba_apps_selects_test : public testing::TestWithParam<selection_case>
{
};

TEST_P (rgba_apps_selects_test, decides)
{
  const selection_case &c = GetParam ();
  EXPECT_EQ (rgba_apps_selects (c.value, c.prgname), c.selected);
}

const selection_case selection_cases[] = {
  // Unset or empty: nothing is selected.
  { nullptr, "editor", false },
  { nullptr, nullptr, false },
  { "", "editor", false },
  { "", "", false },
  { "", nullptr, false },

  // Inclusion: exact, case-sensitive, untrimmed matches in any position.
  { "editor:viewer", "editor", true },
  { "editor:viewer", "viewer", true },
  { "editor:viewer", "shell", false },
  { "editor:viewer", "Editor", false },
  { "editor:viewer", "edit", false },
  { "editor:viewer", "editor ", false },
  { " editor:viewer", "editor", false },
  { "editor:viewer", nullptr, false },
  { "editor:editor", "editor", true },

  // Empty entries stay in the list and match an empty name.
  { "editor::viewer", "", true },
  { "editor:", "", true },
  { ":editor", "", true },
  { "editor:viewer", "", false },

  // Exclusion: everything but the names listed.
  { "allbut", "editor", true },
  { "allbut:editor", "editor", false },
  { "allbut:editor", "viewer", true },
  { "allbut:viewer:editor", "editor", false },
  { "allbut:editor", nullptr, true },
  { "allbut:", "", false },
  { "allbut:editor", "", true },

  // The keyword excludes a program of its own name, and only counts first.
  { "allbut", "allbut", false },
  { "viewer:allbut", "allbut", true },
  { "viewer:allbut", "editor", false },
  { "ALLBUT:editor", "viewer", false },
  { "allbut :editor", "viewer", false },
  { ":allbut:editor", "viewer", false },

  // A name holding the separator can never be listed.
  { "a:b", "a:b", false },
  { "allbut:a:b", "a:b", true },
};

INSTANTIATE_TEST_SUITE_P (cases, rgba_apps_selects_test, testing::ValuesIn (selection_cases));

} // namespace
