// Scripted answers for the modal dialogs the widget tests open, and a dialog's controls by id.
#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>
#include <deque>
#include <functional>
#include <vector>

namespace quorvane::testing {

// Answers the dialogs opened through Runner (a feature's interface for running its dialogs), in
// order; each step gets the dialog itself. A dialog the script has no step for is cancelled.
template <class Runner>
struct ScriptedRuns final : Runner {
    std::deque<std::function<int(QDialog&)>> script;
    std::vector<int> opened;  // dialog ids in order
    int run(QDialog& d) override {
        opened.push_back(d.objectName().toInt());
        if (script.empty()) return QDialog::Rejected;
        auto step = script.front();
        script.pop_front();
        return step(d);
    }
};

// The dialogs name each control by its resource id.
template <class T>
T* control(QWidget& w, int id) {
    return w.findChild<T*>(QString::number(id));
}

}  // namespace quorvane::testing
