#pragma once
// The one shape of a folder's dialog seam (and of the message boxes and help, which are
// dialogs too). A folder asks its dialogs through one interface whose calls return the
// dialog's answer (nothing on Cancel); the program gets the Qt dialogs, and a test installs
// scripted answers and takes them away again. Each folder names its seam once:
//
//   AppDialogs& appDialogs() { return DialogSeam<AppDialogs, QtAppDialogs>::get(); }
//   void setAppDialogs(AppDialogs* d) { DialogSeam<AppDialogs, QtAppDialogs>::set(d); }

namespace quorvane {

template <class Dialogs, class QtDialogs>
class DialogSeam {
public:
    static Dialogs& get() {
        static QtDialogs qt;
        return installed_ ? *installed_ : qt;
    }
    // nullptr restores the Qt dialogs.
    static void set(Dialogs* dialogs) { installed_ = dialogs; }

private:
    static inline Dialogs* installed_ = nullptr;
};

}  // namespace quorvane
