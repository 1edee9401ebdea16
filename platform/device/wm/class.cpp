// Window classes: registered by name, found by name regardless of ASCII case.
#include "wm/window_manager.h"

namespace kdev {

bool WindowManager::registerClass(const WindowClass& cls) {
    if (cls.name.empty() || !cls.proc) return false;
    auto [it, inserted] = classes_.emplace(cls.name, cls);
    return inserted;
}

const WindowClass* WindowManager::findClass(std::u16string_view name) const {
    for (const auto& [key, cls] : classes_) {
        if (key.size() != name.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < key.size() && same; ++i) {
            char16_t a = key[i], b = name[i];
            if (a >= u'a' && a <= u'z') a = static_cast<char16_t>(a - 32);
            if (b >= u'a' && b <= u'z') b = static_cast<char16_t>(b - 32);
            same = a == b;
        }
        if (same) return &cls;
    }
    return nullptr;
}

}  // namespace kdev
