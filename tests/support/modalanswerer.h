#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace pfw::test {

// Answers the next modal dialog of type Dialog, whatever opens it, so that no test can hang on
// one. The callback must close it (accept, reject or click a button); if it does not, the
// dialog is closed for it. Polling gives up after about five seconds.
template<typename Dialog = QWidget>
void answerNext(const std::function<void(Dialog *)> &answer, int attempts = 500)
{
    QTimer::singleShot(10, [answer, attempts] {
        auto *modal = qobject_cast<Dialog *>(QApplication::activeModalWidget());
        if (!modal) {
            if (attempts > 0)
                answerNext<Dialog>(answer, attempts - 1);
            return;
        }
        answer(modal);
        if (QApplication::activeModalWidget() == modal)
            modal->close();
    });
}

inline void answerNextModal(const std::function<void(QWidget *)> &answer)
{
    answerNext<QWidget>(answer);
}

} // namespace pfw::test
