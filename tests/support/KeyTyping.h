#pragma once

#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace tavrin::test {

// Types like a user: each key goes to whatever has the keyboard focus at that moment.
// "\t" is Tab, "\n" Return, "\x1b" Escape.
inline void type(QWidget& window, const QString& keys)
{
    for (QChar c : keys) {
        QWidget* target = window.focusWidget();
        ASSERT_NE(target, nullptr);
        if (c == u'\t') QTest::keyClick(target, Qt::Key_Tab);
        else if (c == u'\n') QTest::keyClick(target, Qt::Key_Return);
        else if (c == u'\x1b') QTest::keyClick(target, Qt::Key_Escape);
        else QTest::keyClicks(target, QString(c));
    }
}

} // namespace tavrin::test
