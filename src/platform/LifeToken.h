#pragma once
#include <memory>

namespace tavrin {

// Lets a callback that may run after its owner is gone (the answer of a box, a delayed task)
// find out: the owner holds a LifeToken, the callback captures Watch() and does nothing once
// the watch has expired.
class LifeToken {
public:
    std::weak_ptr<const char> Watch() const { return token_; }

private:
    std::shared_ptr<const char> token_ = std::make_shared<const char>('\0');
};

}  // namespace tavrin
