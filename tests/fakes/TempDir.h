#pragma once
// A fresh directory for one test, removed with everything in it afterwards;
// and XDG_CONFIG_HOME pointed into it while the test runs.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

class CTempDir {
public:
    CTempDir()
    {
        std::string strTemplate = (std::filesystem::temp_directory_path() / "nuvik-test-XXXXXX").string();
        if (mkdtemp(strTemplate.data()) != nullptr)
            m_strPath = strTemplate;
    }
    ~CTempDir()
    {
        std::error_code ec;
        if (!m_strPath.empty())
            std::filesystem::remove_all(m_strPath, ec);
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_strPath; }
    std::string operator/(const std::string& strName) const { return m_strPath + "/" + strName; }

private:
    std::string m_strPath;
};

// Sets an environment variable for the lifetime of the object.
class CScopedEnv {
public:
    CScopedEnv(const char* pszName, const std::string& strValue) : m_pszName(pszName)
    {
        if (const char* pszOld = getenv(pszName))
            m_old = pszOld;
        setenv(pszName, strValue.c_str(), 1);
    }
    ~CScopedEnv()
    {
        if (m_old)
            setenv(m_pszName, m_old->c_str(), 1);
        else
            unsetenv(m_pszName);
    }

private:
    const char* m_pszName;
    std::optional<std::string> m_old;
};

inline std::string ReadBytes(const std::string& strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& strPath, const std::string& strData)
{
    std::ofstream(strPath, std::ios::binary | std::ios::trunc) << strData;
}
