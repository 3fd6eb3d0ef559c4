#pragma once

// Points the per-user folders (preferences, log, runtime) at a fresh
// temporary folder for one test, and puts the environment back afterwards.

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace vantrel::test {

class TemporaryHome
{
  public:
    TemporaryHome()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vantrel-home-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            m_root = pattern;
        set("XDG_CONFIG_HOME", m_root + "/config");
        set("XDG_STATE_HOME", m_root + "/state");
        set("XDG_DATA_HOME", m_root + "/data");
        set("XDG_RUNTIME_DIR", m_root + "/runtime");
        std::filesystem::create_directories(m_root + "/runtime");
    }
    ~TemporaryHome()
    {
        for (const auto& [name, value] : m_saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        std::error_code ignored;
        // A test may have locked its folder; take it back before removing it.
        std::filesystem::permissions(m_root, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(m_root, ignored);
    }
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;

    const std::string& root() const { return m_root; }

    // Sets an environment variable for the lifetime of this object.
    void set(const std::string& name, const std::string& value)
    {
        if (!m_saved.count(name)) {
            const char* old = std::getenv(name.c_str());
            m_saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        setenv(name.c_str(), value.c_str(), 1);
    }

  private:
    std::string m_root;
    std::map<std::string, std::optional<std::string>> m_saved;
};

} // namespace vantrel::test
