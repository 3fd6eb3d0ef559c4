#pragma once

// Points the XDG base folders at a fresh temporary folder for one test and
// puts the environment back (and removes the folder) afterwards, so tests
// never touch the user's own preferences or log.

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantrel::test {

class XdgSandbox
{
  public:
    XdgSandbox()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vantrel-test-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        m_root = pattern;
        set("XDG_CONFIG_HOME", m_root + "/config");
        set("XDG_STATE_HOME", m_root + "/state");
        set("XDG_DATA_HOME", m_root + "/data");
    }
    ~XdgSandbox()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
        std::error_code ignored;
        std::filesystem::permissions(m_root, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(m_root, ignored);
    }
    XdgSandbox(const XdgSandbox&) = delete;
    XdgSandbox& operator=(const XdgSandbox&) = delete;

    const std::string& root() const { return m_root; }

  private:
    void set(const char* name, const std::string& value)
    {
        const char* old = std::getenv(name);
        m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        setenv(name, value.c_str(), 1);
    }

    std::string m_root;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

} // namespace vantrel::test
