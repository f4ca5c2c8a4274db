#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

class QDialog;
class QUrl;
class QWidget;

namespace ks {

// Every modal question the program asks (file and folder pickers, message
// boxes, its own dialogs), and every address it hands to the desktop, goes
// through one object of this class, which the main window owns. The real
// program shows the real dialogs; tests put a subclass in its place that
// answers without a person.
class UserPrompts
{
public:
    virtual ~UserPrompts();

    virtual QStringList openFileNames(
            QWidget *parent, const QString &caption, const QString &dir, const QString &filter);
    virtual QString openFileName(QWidget *parent, const QString &caption, const QString &path, const QString &filter);
    virtual QString existingDirectory(QWidget *parent, const QString &caption, const QString &dir);
    virtual QString saveFileName(QWidget *parent, const QString &caption, const QString &path, const QString &filter);

    virtual QMessageBox::StandardButton warning(QWidget *parent, const QString &title, const QString &text);
    virtual QMessageBox::StandardButton information(QWidget *parent, const QString &title, const QString &text);
    virtual QMessageBox::StandardButton question(QWidget *parent, const QString &title, const QString &text,
            QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton);
    // A question answered by one of `choices`, each a button: the index of
    // the one pressed, or -1 for Cancel.
    virtual int choose(QWidget *parent, const QString &title, const QString &text, const QStringList &choices);

    // Runs one of the program's own dialogs modally and returns its result.
    virtual int exec(QDialog &dialog);

    // Opens a web page or a folder with the desktop's own handler.
    virtual bool openUrl(const QUrl &url);
};

} // namespace ks
