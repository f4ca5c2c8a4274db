#include "userprompts.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QPushButton>

namespace ks {

namespace {

QMessageBox::StandardButton showBox(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, title, text, buttons, parent);
    box.setDefaultButton(defaultButton);
    // The texts carry file names and what the update server sent: shown as
    // written, never read as markup that loads images or opens links.
    box.setTextFormat(Qt::PlainText);
    return QMessageBox::StandardButton(box.exec());
}

} // namespace

UserPrompts::~UserPrompts() = default;

QStringList UserPrompts::openFileNames(
        QWidget *parent, const QString &caption, const QString &dir, const QString &filter)
{
    return QFileDialog::getOpenFileNames(parent, caption, dir, filter);
}

QString UserPrompts::saveFileName(QWidget *parent, const QString &caption, const QString &path, const QString &filter)
{
    return QFileDialog::getSaveFileName(parent, caption, path, filter);
}

QString UserPrompts::openFileName(QWidget *parent, const QString &caption, const QString &path, const QString &filter)
{
    return QFileDialog::getOpenFileName(parent, caption, path, filter);
}

QString UserPrompts::existingDirectory(QWidget *parent, const QString &caption, const QString &dir)
{
    return QFileDialog::getExistingDirectory(parent, caption, dir, QFileDialog::ShowDirsOnly);
}

QMessageBox::StandardButton UserPrompts::warning(QWidget *parent, const QString &title, const QString &text)
{
    return showBox(parent, QMessageBox::Warning, title, text, QMessageBox::Ok, QMessageBox::Ok);
}

QMessageBox::StandardButton UserPrompts::information(QWidget *parent, const QString &title, const QString &text)
{
    return showBox(parent, QMessageBox::Information, title, text, QMessageBox::Ok, QMessageBox::Ok);
}

QMessageBox::StandardButton UserPrompts::question(QWidget *parent, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    return showBox(parent, QMessageBox::Question, title, text, buttons, defaultButton);
}

int UserPrompts::choose(QWidget *parent, const QString &title, const QString &text, const QStringList &choices)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Cancel, parent);
    box.setTextFormat(Qt::PlainText);
    QList<QPushButton *> buttons;
    for (const QString &choice : choices)
        buttons << box.addButton(choice, QMessageBox::AcceptRole);
    box.setDefaultButton(QMessageBox::Cancel);
    box.exec();
    return int(buttons.indexOf(qobject_cast<QPushButton *>(box.clickedButton())));
}

int UserPrompts::exec(QDialog &dialog)
{
    return dialog.exec();
}

bool UserPrompts::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

} // namespace ks
