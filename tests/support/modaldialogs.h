// Drives a real modal dialog from inside its own event loop: a timer finds the active modal
// dialog once it shows and hands it to the test, which must end it.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

// Runs open, which shows a modal dialog, and calls act on that dialog. A dialog that act
// leaves open is failed and closed, so that open returns.
inline void OnModalDialog(const std::function<void()>& open,
                          const std::function<void(QDialog&)>& act) {
    bool acted = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible())
            return;
        poll.stop();
        acted = true;
        const QPointer<QDialog> guard(dialog);
        act(*dialog);
        if (guard && guard->isVisible()) {
            ADD_FAILURE() << "the dialog stayed open";
            guard->done(QDialog::Rejected);
        }
    });
    poll.start(5);
    open();
    EXPECT_TRUE(acted) << "no modal dialog showed";
}

// Runs open, which must not show a modal dialog; one that shows is failed and rejected.
inline void ExpectNoModalDialog(const std::function<void()>& open) {
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            ADD_FAILURE() << "a modal dialog showed: " << dialog->metaObject()->className();
            dialog->reject();
        }
    });
    poll.start(5);
    open();
}
