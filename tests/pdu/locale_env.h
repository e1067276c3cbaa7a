#ifndef TARNEL_TESTS_LOCALE_ENV_H
#define TARNEL_TESTS_LOCALE_ENV_H

// Sets the locale variables of the environment for one test and puts the
// previous values (and the process locale) back afterwards.

#include <clocale>
#include <cstdlib>
#include <string>

class ScopedLocaleEnv
{
public:
    // `lang` == nullptr unsets every locale variable (as under cron).
    explicit ScopedLocaleEnv(const char* lang)
    {
        for (int i = 0; i < 3; ++i) {
            const char* v = std::getenv(kNames[i]);
            m_had[i] = v != nullptr;
            m_old[i] = v != nullptr ? v : "";
            unsetenv(kNames[i]);
        }
        const char* loc = std::setlocale(LC_ALL, nullptr);
        m_oldLocale = loc != nullptr ? loc : "C";
        if (lang != nullptr) {
            setenv("LANG", lang, 1);
        }
    }
    ~ScopedLocaleEnv()
    {
        for (int i = 0; i < 3; ++i) {
            if (m_had[i]) {
                setenv(kNames[i], m_old[i].c_str(), 1);
            } else {
                unsetenv(kNames[i]);
            }
        }
        std::setlocale(LC_ALL, m_oldLocale.c_str());
    }
    ScopedLocaleEnv(const ScopedLocaleEnv&) = delete;
    ScopedLocaleEnv& operator=(const ScopedLocaleEnv&) = delete;

private:
    static constexpr const char* kNames[3] = {"LANG", "LC_ALL", "LC_CTYPE"};
    bool m_had[3];
    std::string m_old[3];
    std::string m_oldLocale;
};

#endif
