#include "userprompts.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>

namespace ks {

UserPrompts::~UserPrompts() = default;

QStringList UserPrompts::openFileNames(QWidget *parent, const QString &caption, const QString &dir,
                                       const QString &filter)
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
    return QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

QMessageBox::StandardButton UserPrompts::information(QWidget *parent, const QString &title, const QString &text)
{
    return QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

QMessageBox::StandardButton UserPrompts::question(QWidget *parent, const QString &title, const QString &text,
                                                  QMessageBox::StandardButtons buttons,
                                                  QMessageBox::StandardButton defaultButton)
{
    return QMessageBox::question(parent, title, text, buttons, defaultButton);
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
