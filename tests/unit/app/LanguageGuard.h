#pragma once
#include "app/Globals.h"

namespace tavrin::testing {

// Sets the process-wide language for one test and puts the old value back afterwards.
class CLanguageGuard {
public:
    explicit CLanguageGuard(int value) : saved_(language) { language = value; }
    ~CLanguageGuard() { language = saved_; }
    CLanguageGuard(const CLanguageGuard&) = delete;
    CLanguageGuard& operator=(const CLanguageGuard&) = delete;

private:
    int saved_;
};

}  // namespace tavrin::testing
