// A Turkish locale for tests of case folding: toupper('i') is not 'I' there,
// so code that folds through the locale is caught. The locale is built for
// the test with localedef (package locales) and left again at scope's end.
#ifndef KV_TESTS_TURKISH_LOCALE_H
#define KV_TESTS_TURKISH_LOCALE_H

#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <string>

namespace kvtest {

class TurkishLocale {
public:
    TurkishLocale()
    {
        std::string dir = testing::TempDir() + "kv_locale_tr";
        std::string build = "mkdir -p " + dir + " && localedef -i tr_TR -f ISO-8859-9 " + dir +
                            "/tr_TR.ISO-8859-9 >/dev/null 2>&1";
        if (std::system(build.c_str()) != 0 && std::system(("test -d " + dir + "/tr_TR.ISO-8859-9").c_str()) != 0)
            return;
        setenv("LOCPATH", dir.c_str(), 1);
        active_ = std::setlocale(LC_ALL, "tr_TR.ISO-8859-9") != nullptr && std::toupper('i') != 'I';
    }
    ~TurkishLocale()
    {
        std::setlocale(LC_ALL, "C");
        unsetenv("LOCPATH");
    }
    TurkishLocale(const TurkishLocale &) = delete;
    TurkishLocale &operator=(const TurkishLocale &) = delete;

    // Whether the process now runs in the Turkish locale.
    bool active() const { return active_; }

private:
    bool active_ = false;
};

} // namespace kvtest

#endif
