// The cost of rgba_apps_selects against the length of GTK_RGBA_APPS, with
// the program listed last and not listed at all.

#include <benchmark/benchmark.h>

#include <string>

#include "rgba_apps_selects.h"

namespace
{

std::string
list_of (long entries, const char *last)
{
  std::string value;
  for (long i = 0; i + 1 < entries; i++)
    value += "app" + std::to_string (i) + ":";
  return value + last;
}

// A list of @entries names whose last is @last, searched for "editor".
void
selects (benchmark::State &state, const char *last)
{
  const std::string value = list_of (state.range (0), last);
  for (auto _ : state)
    benchmark::DoNotOptimize (rgba_apps_selects (value.c_str (), "editor"));
  state.SetComplexityN (state.range (0));
}

} // namespace

BENCHMARK_CAPTURE (selects, match_at_the_end, "editor")
    ->Arg (1)
    ->Arg (100)
    ->Arg (10000)
    ->Arg (100000)
    ->Complexity ();
BENCHMARK_CAPTURE (selects, no_match, "viewer")
    ->Arg (1)
    ->Arg (100)
    ->Arg (10000)
    ->Arg (100000)
    ->Complexity ();

BENCHMARK_MAIN ();
