// Runs the module inside a real GTK 2 program (rgba_probe) on private X
// servers: one that offers a 32-bit RGBA visual, as Xvfb does by default,
// and one started without the Composite extension, which offers none.

#include <glib-unix.h>
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace
{

const char *const module_path = RGBA_MODULE_PATH;
const char *const probe_path = RGBA_PROBE_PATH;

const char *const rgba_colormaps = "widget=32 default=32 default-is-rgba=yes window=32\n";
const char *const plain_colormaps = "widget=24 default=24 default-is-rgba=no window=24\n";

std::string
notice (const std::string &prgname)
{
  return "\nprogname=" + prgname + "; RGBA=on\n";
}

// What the probe prints after the module ran once: the notice and the RGBA
// colormaps when @prgname was selected, the plain colormaps otherwise.
std::string
probe_output (bool selected, const std::string &prgname, const std::string &args = "")
{
  if (selected)
    return notice (prgname) + "args=" + args + "\n" + rgba_colormaps;
  return "args=" + args + "\n" + plain_colormaps;
}

std::string
bytes_to_string (GBytes *bytes)
{
  gsize size;
  const char *data = static_cast<const char *> (g_bytes_get_data (bytes, &size));
  return std::string (data != nullptr ? data : "", size);
}

// A private Xvfb on a display it picks itself, for the life of the object.
class x_server
{
public:
  explicit x_server (const std::vector<const char *> &options)
  {
    int fds[2];
    g_autoptr (GError) error = nullptr;
    if (!g_unix_open_pipe (fds, FD_CLOEXEC, &error))
      g_error ("pipe: %s", error->message);

    std::vector<const char *> argv = { "Xvfb", "-displayfd", "3", "-nolisten", "tcp" };
    argv.insert (argv.end (), options.begin (), options.end ());
    argv.push_back (nullptr);

    g_autoptr (GSubprocessLauncher) launcher = g_subprocess_launcher_new (
        GSubprocessFlags (G_SUBPROCESS_FLAGS_STDOUT_SILENCE | G_SUBPROCESS_FLAGS_STDERR_SILENCE));
    g_subprocess_launcher_take_fd (launcher, fds[1], 3);
    process_ = g_subprocess_launcher_spawnv (launcher, argv.data (), &error);
    if (process_ == nullptr)
      g_error ("cannot start Xvfb (apt-get install xvfb): %s", error->message);
    g_clear_object (&launcher); // closes our copy of the write end

    // Xvfb writes the display number once it accepts connections.
    char c;
    std::string number;
    while (read (fds[0], &c, 1) == 1 && c != '\n')
      number += c;
    close (fds[0]);
    if (number.empty ())
      g_error ("Xvfb exited without taking a display");
    display_ = ":" + number;
  }

  ~x_server ()
  {
    g_subprocess_send_signal (process_, SIGTERM);
    g_subprocess_wait (process_, nullptr, nullptr);
    g_object_unref (process_);
  }

  x_server (const x_server &) = delete;
  x_server &operator= (const x_server &) = delete;

  const std::string &display () const { return display_; }

private:
  GSubprocess *process_ = nullptr;
  std::string display_;
};

x_server *rgba_server;
x_server *plain_server;

struct probe_run
{
  std::string out;
  std::string err;
  bool exited = false;
  int exit_status = -1;
};

using env_list = std::vector<std::pair<const char *, std::string>>;

// Runs @command (the probe, or a wrapper around it) with a clean environment
// plus @env, under fatal criticals so that any GTK critical ends it.
probe_run
run_command (const x_server &server, const env_list &env, const std::vector<std::string> &command)
{
  gchar **envp = g_get_environ ();
  for (const char *name : { "GTK_MODULES", "GTK2_MODULES", "GTK_RGBA_APPS", "GTK_PATH",
                            "XLIB_SKIP_ARGB_VISUALS", "G_DEBUG" })
    envp = g_environ_unsetenv (envp, name);
  envp = g_environ_setenv (envp, "DISPLAY", server.display ().c_str (), TRUE);
  envp = g_environ_setenv (envp, "G_DEBUG", "fatal-criticals", TRUE);
  for (const auto &[name, value] : env)
    envp = g_environ_setenv (envp, name, value.c_str (), TRUE);

  std::vector<const char *> argv;
  for (const std::string &arg : command)
    argv.push_back (arg.c_str ());
  argv.push_back (nullptr);

  g_autoptr (GSubprocessLauncher) launcher = g_subprocess_launcher_new (
      GSubprocessFlags (G_SUBPROCESS_FLAGS_STDOUT_PIPE | G_SUBPROCESS_FLAGS_STDERR_PIPE));
  g_subprocess_launcher_set_environ (launcher, envp);
  g_strfreev (envp);

  g_autoptr (GError) error = nullptr;
  g_autoptr (GSubprocess) process = g_subprocess_launcher_spawnv (launcher, argv.data (), &error);
  g_autoptr (GBytes) out = nullptr;
  g_autoptr (GBytes) err = nullptr;
  if (process == nullptr
      || !g_subprocess_communicate (process, nullptr, nullptr, &out, &err, &error))
    g_error ("cannot run %s: %s", argv[0], error->message);

  probe_run run;
  run.out = bytes_to_string (out);
  run.err = bytes_to_string (err);
  run.exited = g_subprocess_get_if_exited (process);
  if (run.exited)
    run.exit_status = g_subprocess_get_exit_status (process);
  return run;
}

probe_run
run_probe (const x_server &server, const env_list &env, const std::vector<std::string> &args)
{
  std::vector<std::string> command = { probe_path };
  command.insert (command.end (), args.begin (), args.end ());
  return run_command (server, env, command);
}

void
expect_clean_exit (const probe_run &run)
{
  EXPECT_TRUE (run.exited);
  EXPECT_EQ (run.exit_status, 0);
  EXPECT_EQ (run.err, "");
}

// How GTK is told to load the module.
enum class loader
{
  gtk_modules,
  gtk2_modules,
  option,
};

struct selection_case
{
  const char *apps;        // GTK_RGBA_APPS, nullptr when unset
  const char *name;        // --name=NAME, nullptr to keep the file's name
  const char *notice_name; // the name in the notice, nullptr for no notice
};

std::ostream &
operator<< (std::ostream &os, const selection_case &c)
{
  return os << "GTK_RGBA_APPS=" << (c.apps ? c.apps : "(unset)")
            << " --name=" << (c.name ? c.name : "(none)");
}

const selection_case selection_cases[] = {
  { nullptr, nullptr, nullptr },
  { "", nullptr, nullptr },
  { "editor:rgba_probe", nullptr, "rgba_probe" },
  { "editor:viewer", "viewer", "viewer" },
  { "editor::viewer", "", "" },
  { "editor:viewer", nullptr, nullptr },
  { "allbut:editor", nullptr, "rgba_probe" },
  { "allbut:editor:rgba_probe", nullptr, nullptr },
  { "allbut:editor", "editor", nullptr },
};

class module_test : public testing::TestWithParam<std::tuple<loader, selection_case>>
{
};

TEST_P (module_test, switches_only_selected_programs)
{
  const auto &[how, c] = GetParam ();

  env_list env;
  std::vector<std::string> args;
  switch (how)
    {
    case loader::gtk_modules:
      env.emplace_back ("GTK_MODULES", module_path);
      break;
    case loader::gtk2_modules:
      env.emplace_back ("GTK2_MODULES", module_path);
      break;
    case loader::option:
      args.push_back (std::string ("--gtk-module=") + module_path);
      break;
    }
  if (c.apps != nullptr)
    env.emplace_back ("GTK_RGBA_APPS", c.apps);
  if (c.name != nullptr)
    args.push_back (std::string ("--name=") + c.name);
  // Arguments that are not GTK's must reach the program untouched.
  args.insert (args.end (), { "one", "--two", "3" });

  const probe_run run = run_probe (*rgba_server, env, args);

  expect_clean_exit (run);
  const bool selected = c.notice_name != nullptr;
  EXPECT_EQ (run.out, probe_output (selected, selected ? c.notice_name : "", "one --two 3"));
}

INSTANTIATE_TEST_SUITE_P (cases, module_test,
                          testing::Combine (testing::Values (loader::gtk_modules,
                                                             loader::gtk2_modules, loader::option),
                                            testing::ValuesIn (selection_cases)));

TEST (module_without_rgba_visual, prints_the_notice_and_keeps_the_colormaps)
{
  struct
  {
    const x_server *server;
    env_list env;
  } screens[] = {
    { plain_server, { { "GTK_MODULES", module_path }, { "GTK_RGBA_APPS", "rgba_probe" } } },
    { rgba_server,
      { { "GTK_MODULES", module_path },
        { "GTK_RGBA_APPS", "rgba_probe" },
        { "XLIB_SKIP_ARGB_VISUALS", "1" } } },
  };
  for (const auto &screen : screens)
    {
      const probe_run run = run_probe (*screen.server, screen.env, {});
      expect_clean_exit (run);
      EXPECT_EQ (run.out, notice ("rgba_probe") + probe_output (false, ""));
    }
}

TEST (module_entry, names_an_absent_program_null)
{
  // Only exclusion mode lets a program without a name through.
  const probe_run run = run_probe (*rgba_server, { { "GTK_RGBA_APPS", "allbut" } },
                                   { "--no-prgname", std::string ("--load=") + module_path });
  expect_clean_exit (run);
  EXPECT_EQ (run.out, probe_output (true, "(null)"));
}

TEST (module_entry, repeats_everything_on_each_call)
{
  const probe_run run = run_probe (
      *rgba_server, { { "GTK_MODULES", module_path }, { "GTK_RGBA_APPS", "rgba_probe" } },
      { std::string ("--load=") + module_path });
  expect_clean_exit (run);
  EXPECT_EQ (run.out, notice ("rgba_probe") + probe_output (true, "rgba_probe"));
}

// The longest list one environment string holds on Linux (128 KiB with the
// "NAME=" and the NUL), of numbered entries, with @last as the final entry.
std::string
longest_list (const std::string &first, const std::string &last)
{
  const std::size_t room = 128 * 1024 - sizeof "GTK_RGBA_APPS=" - last.size ();
  std::string value = first;
  char entry[16];
  for (int i = 0; value.size () + 10 < room; i++)
    {
      std::snprintf (entry, sizeof entry, "app%05d:", i);
      value += entry;
    }
  return value + last;
}

TEST (module_input, decides_right_on_any_bytes)
{
  struct
  {
    std::string prgname;
    std::string apps;
    bool selected;
  } cases[] = {
    { "rgba_probe", longest_list ("", "rgba_probe"), true },
    { "rgba_probe", longest_list ("allbut:", "rgba_probe"), false },
    { "rgba_probe", longest_list ("allbut:", "rgba_probe_"), true },
    { "\xff\xfe\xc3(", "editor:\xff\xfe\xc3(", true },
    { "\xff\xfe\xc3(", "editor:\xff\xfe", false },
    { " spaced name ", "editor: spaced name ", true },
    { " spaced name ", "editor:spaced name", false },
    { "tab\tbell\a", "allbut:tab\tbell\a", false },
    { "esc\x1b[31m", "allbut:editor", true },
    { "line\nbreak", "line\nbreak", true },
  };

  // GTK names a program after the file it was started as, so each name is
  // a link to the probe.
  g_autoptr (GError) error = nullptr;
  g_autofree gchar *dir = g_dir_make_tmp ("rgba-names-XXXXXX", &error);
  ASSERT_NE (dir, nullptr) << error->message;

  for (const auto &c : cases)
    {
      g_autofree gchar *escaped = g_strescape (c.prgname.c_str (), "");
      SCOPED_TRACE (testing::Message ()
                    << "prgname \"" << escaped << "\", list of " << c.apps.size () << " bytes");
      g_autofree gchar *link = g_build_filename (dir, c.prgname.c_str (), nullptr);
      ASSERT_EQ (symlink (probe_path, link), 0);

      const probe_run run = run_command (
          *rgba_server, { { "GTK_MODULES", module_path }, { "GTK_RGBA_APPS", c.apps } }, { link });
      unlink (link);

      expect_clean_exit (run);
      EXPECT_EQ (run.out, probe_output (c.selected, c.prgname));
    }
  rmdir (dir);
}

// Valgrind's reports of errors and of definitely lost blocks whose stacks
// pass through the module.
std::vector<std::string>
memcheck_reports_on_module (const std::string &log)
{
  std::vector<std::string> reports;
  g_auto (GStrv) lines = g_strsplit (log.c_str (), "\n", -1);
  std::string report;
  for (gchar **line = lines; *line != nullptr; line++)
    {
      // A report ends at a line that holds nothing but valgrind's prefix.
      const bool blank = g_regex_match_simple ("^==\\d+==\\s*$", *line, GRegexCompileFlags (0),
                                               GRegexMatchFlags (0));
      if (!blank)
        {
          report += *line;
          report += '\n';
          continue;
        }
      for (const char *needle : { "librgba-colormap", "gtk_module_init.cpp", "rgba_apps_selects" })
        if (report.find (needle) != std::string::npos)
          {
            reports.push_back (report);
            break;
          }
      report.clear ();
    }
  return reports;
}

TEST (module_under_memcheck, leaves_no_errors_or_leaks_of_its_own)
{
  for (const char *apps : { "rgba_probe", "editor:viewer" })
    {
      SCOPED_TRACE (apps);
      const probe_run run = run_command (
          *rgba_server, { { "GTK_MODULES", module_path }, { "GTK_RGBA_APPS", apps } },
          { "valgrind", "--tool=memcheck", "--leak-check=full", "--show-leak-kinds=definite",
            "--num-callers=50", probe_path });
      EXPECT_TRUE (run.exited);
      EXPECT_EQ (run.exit_status, 0);
      EXPECT_NE (run.err.find ("ERROR SUMMARY"), std::string::npos) << run.err;
      EXPECT_EQ (run.out, probe_output (g_strcmp0 (apps, "rgba_probe") == 0, "rgba_probe"));
      for (const std::string &report : memcheck_reports_on_module (run.err))
        ADD_FAILURE () << report;
    }
}

} // namespace

int
main (int argc, char **argv)
{
  testing::InitGoogleTest (&argc, argv);
  rgba_server = new x_server ({});
  plain_server = new x_server ({ "-extension", "Composite" });
  const int status = RUN_ALL_TESTS ();
  delete plain_server;
  delete rgba_server;
  return status;
}
