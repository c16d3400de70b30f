#pragma once

namespace tarnwick {

// A window that takes commands by id: menu items, accelerators and the
// notifications of its child switches all arrive here, so a test can send
// exactly what a click sends.
class CommandTarget {
public:
    virtual void command(int id, int code) = 0;

protected:
    ~CommandTarget() = default;
};

}  // namespace tarnwick
