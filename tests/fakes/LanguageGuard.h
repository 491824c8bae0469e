#pragma once
#include "app/Language.h"

namespace tavrin::testing {

// Sets the process-wide language for one test and puts the old value back afterwards.
class CLanguageGuard {
public:
    explicit CLanguageGuard(int value) : saved_(CurrentLanguage()) { SetCurrentLanguage(value); }
    ~CLanguageGuard() { SetCurrentLanguage(saved_); }
    CLanguageGuard(const CLanguageGuard&) = delete;
    CLanguageGuard& operator=(const CLanguageGuard&) = delete;

private:
    int saved_;
};

}  // namespace tavrin::testing
