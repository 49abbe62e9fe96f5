#pragma once
// One instance per window kind, created on first use and kept until released: unloading a window
// destroys its window handle, not the object, so it can be loaded again later.

#include <memory>

namespace toolkit {

template <class Form>
class FormInstance {
public:
    static Form& Get() {
        auto& slot = Slot();
        if (!slot) slot.reset(new Form());
        return *slot;
    }
    static bool Exists() { return Slot() != nullptr; }
    static void Release() { Slot().reset(); }

private:
    static std::unique_ptr<Form>& Slot() {
        static std::unique_ptr<Form> instance;
        return instance;
    }
};

}  // namespace toolkit
