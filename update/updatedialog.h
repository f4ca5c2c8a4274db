#pragma once

#include "updatechecker.h"

#include <QDialog>
#include <QString>

#include <functional>

class QUrl;

namespace ks {

// Offers a newer release found by the update checker: what it is, when it
// came out, its notes, whether it is critical. Built on the stack from the
// checker's result, run modally; the owner reads choice() afterwards.
class UpdateDialog final : public QDialog
{
    Q_OBJECT

public:
    enum Choice { Later = 0, SkipVersion = 1, Download = 2 };

    // Opens an address outside the program; returns false if it could not.
    using UrlOpener = std::function<bool(const QUrl &)>;

    explicit UpdateDialog(const UpdateChecker::Result &result, QWidget *parent = nullptr);

    // Release notes beyond this are cut off: laying out a megabyte of text
    // would hold up the window for no reader's benefit.
    static constexpr int MaxNotesLength = 20000;

    Choice choice() const { return m_choice; }

    // Replaces the desktop's URL handler, which opens addresses by default.
    void setUrlOpener(UrlOpener opener);

Q_SIGNALS:
    // An address from the server was not opened; the reason names it and
    // says why (not a web address, or the desktop could not open it).
    void linkNotOpened(const QString &reason);

private:
    Q_DISABLE_COPY_MOVE(UpdateDialog)

    void openLink(const QString &address);

    Choice m_choice = Later;
    QString m_downloadUrl;
    QString m_notesUrl;
    UrlOpener m_openUrl;
};

} // namespace ks
