// The headless log goes to standard output as UTF-8. A Windows console shows its own code page
// (437, 850, 1252, ...) unless told otherwise, which would garble every accented letter, such as
// those of a localised Winsock error text. So the console shows UTF-8 while Varnel runs in it,
// and its code page is given back on the way out: the console is the user's command prompt.
#include <windows.h>

namespace {

class Utf8ConsoleOutput {
public:
    Utf8ConsoleOutput() : previous_(GetConsoleOutputCP()) { SetConsoleOutputCP(CP_UTF8); }
    ~Utf8ConsoleOutput() { SetConsoleOutputCP(previous_); }

private:
    UINT previous_;
};

// Linked into varnel-console.exe only, so it lives exactly as long as that program.
const Utf8ConsoleOutput utf8ConsoleOutput;

} // namespace
