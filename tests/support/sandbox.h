// Runs a program of the project as a separate process from a bash script, in a fresh directory
// of its own, with or without a private X server: its exit code, stdout and stderr.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace sandbox {

namespace fs = std::filesystem;

struct Result {
    int code = -1;
    std::string out; // the program's stdout
    std::string err; // the program's stderr
};

inline std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Each window test runs on its own X server with its own window manager (true full screen
// needs one), so tests running side by side cannot see each other's windows.
inline bool HaveXTools()
{
    return std::system("(command -v xvfb-run && command -v xdotool && command -v openbox && command -v xwininfo"
                       " && command -v import) > /dev/null 2>&1") == 0;
}

// Shell pieces for scripts under X: start the program in the background, find its window by
// $TITLE, press keys, wait for the exit code.
constexpr char kXPrelude[] = R"SH(
openbox > /dev/null 2>&1 & wm=$!
trap 'kill $wm 2>/dev/null' EXIT
sleep 1
start() { timeout -k 5 120 "$@" > out.txt 2> err.txt & pid=$!; }
window() { timeout 20 xdotool search --sync --onlyvisible --name "^$TITLE\$" | head -1; }
press() { xdotool windowfocus --sync "$w" 2>/dev/null; xdotool key --clearmodifiers "$1"; }
geometry() { xdotool getwindowgeometry --shell "$w" | grep -E '^(WIDTH|HEIGHT)=' | tr '\n' ' '; }
finish() { wait $pid; echo $? > rc.txt; }
)SH";

// A fresh directory, removed at the end. Scripts run there after `exports` (shell lines that
// name the programs and the window title); they leave the program's output in out.txt and
// err.txt and its exit code in rc.txt.
class Sandbox {
public:
    Sandbox(const std::string& prefix, std::string exports) : exports(std::move(exports))
    {
        std::random_device rd;
        dir = fs::temp_directory_path() / (prefix + "-" + std::to_string(rd()) + std::to_string(rd()));
        fs::create_directories(dir);
    }
    ~Sandbox() { fs::remove_all(dir); }

    Result Run(const std::string& script)
    {
        std::ofstream(dir / "script.sh") << "set -u\ncd '" << dir.string() << "'\n"
                                          << exports << "\n"
                                          // The software renderer: steadier here, and no GL driver threads.
                                          << "export SDL_RENDER_DRIVER=software SDL_FRAMEBUFFER_ACCELERATION=0"
                                             " SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}\n"
                                          << script << "\n";
        std::string cmd = "bash '" + (dir / "script.sh").string() + "' > '" + (dir / "script.log").string() + "' 2>&1";
        std::system(cmd.c_str());
        Result r;
        std::string rc = ReadFile(dir / "rc.txt");
        r.code = rc.empty() ? -1 : std::atoi(rc.c_str());
        r.out = ReadFile(dir / "out.txt");
        r.err = ReadFile(dir / "err.txt");
        log = ReadFile(dir / "script.log");
        return r;
    }

    // Runs body on a private X server with a window manager, after kXPrelude and extraPrelude.
    Result RunUnderX(const std::string& body, const std::string& extraPrelude = "")
    {
        std::ofstream(dir / "inner.sh") << kXPrelude << extraPrelude << body << "\n";
        return Run("xvfb-run -a -n $((100 + RANDOM % 800)) -s '-screen 0 1280x1024x24' bash inner.sh");
    }

    fs::path dir;
    std::string log; // the script's own output, for failure messages

private:
    std::string exports;
};

} // namespace sandbox
