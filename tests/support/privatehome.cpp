// Linked into every test program: before anything runs, the program gets a home, configuration,
// cache and runtime folder of its own, so nothing a test does (Qt's own caches and settings, a
// settings file in the configuration folder, a help viewer's channel) reaches the user's
// files or another run's. The folders go when the program ends.

#include "privatehome.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class PrivateHome
{
public:
    PrivateHome()
    {
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/querndal-test-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::perror("querndal tests: no private home folder");
            std::exit(1);
        }
        m_base = pattern;
        for (const auto &[variable, name] : { std::pair { "HOME", "home" },
                 std::pair { "XDG_CONFIG_HOME", "config" }, std::pair { "XDG_CACHE_HOME", "cache" },
                 std::pair { "XDG_RUNTIME_DIR", "runtime" } }) {
            const std::string path = m_base + "/" + name;
            if (::mkdir(path.c_str(), 0700) != 0 || ::setenv(variable, path.c_str(), 1) != 0) {
                std::perror("querndal tests: no private home folder");
                std::exit(1);
            }
        }
    }
    ~PrivateHome() { remove(); }

    void remove()
    {
        // A test program that forked runs this in the child too; only the parent tidies up.
        if (::getpid() == m_owner && !m_base.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_base, ignored);
            m_base.clear();
        }
    }

private:
    std::string m_base;
    pid_t m_owner = ::getpid();
};

PrivateHome s_privateHome;

} // namespace

void removePrivateFolders()
{
    s_privateHome.remove();
}
