#include "platform/UpDownControl.h"

#include <gtest/gtest.h>
#include <QLineEdit>

using namespace quorvane;

namespace {

// With a buddy edit each step starts from what the edit holds; without one, from the
// control's own position. Only a step that changes the value is told.
TEST(UpDownControl, StepsFromTheBuddysTextOrItsOwnPosition) {
    struct Case {
        const char* typed;  // nullptr: no buddy
        int position, delta;
        const char* shown;
        int value;
        bool moved;
    };
    const Case cases[] = {
        {"5", 0, +1, "6", 6, true},      {" 7 ", 0, -1, "6", 6, true},
        {"abc", 3, +1, "1", 1, true},    {"", 9, -1, "0", 0, false},
        {"12", 12, +1, "12", 12, false}, {"50", 0, -1, "12", 12, true},
        {nullptr, 11, +1, "", 12, true}, {nullptr, 12, +1, "", 12, false},
    };
    for (const Case& c : cases) {
        UpDownControl upDown;
        QLineEdit edit;
        upDown.setRange(0, 12);
        upDown.setPosition(c.position);
        if (c.typed) {
            upDown.setBuddy(&edit);
            edit.setText(QString::fromLatin1(c.typed));
        }
        int moved = 0;
        QObject::connect(&upDown, &UpDownControl::moved, [&moved] { ++moved; });
        upDown.step(c.delta);
        EXPECT_EQ(edit.text(), QString::fromLatin1(c.shown)) << c.typed;
        EXPECT_EQ(upDown.position(), c.value) << c.typed;
        EXPECT_EQ(moved, c.moved ? 1 : 0) << c.typed;
    }
}

}  // namespace
