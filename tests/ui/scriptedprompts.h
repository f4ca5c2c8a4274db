#pragma once

#include "userprompts.h"

#include <QDialog>
#include <QList>
#include <QUrl>

#include <functional>

// Answers the program's modal questions from queues the test fills, and
// records every question asked. An unscripted picker is cancelled, an
// unscripted message box gets its default answer (Ok, or the question's
// default button) and an unscripted dialog is rejected, so a test that
// forgot an answer sees the cautious path rather than a hang.
class ScriptedPrompts final : public ks::UserPrompts
{
public:
    struct Asked
    {
        QString method;  // "openFileNames", "openFileName", "existingDirectory",
                         // "warning", "information", "question" or "exec"
        QString caption; // caption of a picker, title of a box or dialog
        QString text;    // a box's text; a picker's start folder or path
        QString filter;  // a file picker's filter
        QMessageBox::StandardButtons buttons = QMessageBox::NoButton;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    };

    QList<QStringList> fileNames;                 // openFileNames
    QList<QString> paths;                         // openFileName, saveFileName and existingDirectory
    QList<QMessageBox::StandardButton> answers;   // warning, information and question
    QList<std::function<int(QDialog &)>> dialogs; // exec: may edit the dialog, returns its result

    QList<Asked> asked;

    QStringList methods() const
    {
        QStringList names;
        for (const Asked &question : asked)
            names.append(question.method);
        return names;
    }

    QStringList openFileNames(QWidget *, const QString &caption, const QString &dir,
                              const QString &filter) override
    {
        asked.append({ QStringLiteral("openFileNames"), caption, dir, filter });
        return fileNames.isEmpty() ? QStringList() : fileNames.takeFirst();
    }

    QString openFileName(QWidget *, const QString &caption, const QString &path, const QString &filter) override
    {
        asked.append({ QStringLiteral("openFileName"), caption, path, filter });
        return paths.isEmpty() ? QString() : paths.takeFirst();
    }

    QString saveFileName(QWidget *, const QString &caption, const QString &path, const QString &filter) override
    {
        asked.append({ QStringLiteral("saveFileName"), caption, path, filter });
        return paths.isEmpty() ? QString() : paths.takeFirst();
    }

    QString existingDirectory(QWidget *, const QString &caption, const QString &dir) override
    {
        asked.append({ QStringLiteral("existingDirectory"), caption, dir, QString() });
        return paths.isEmpty() ? QString() : paths.takeFirst();
    }

    QMessageBox::StandardButton warning(QWidget *, const QString &title, const QString &text) override
    {
        asked.append({ QStringLiteral("warning"), title, text, QString() });
        return answers.isEmpty() ? QMessageBox::Ok : answers.takeFirst();
    }

    QMessageBox::StandardButton information(QWidget *, const QString &title, const QString &text) override
    {
        asked.append({ QStringLiteral("information"), title, text, QString() });
        return answers.isEmpty() ? QMessageBox::Ok : answers.takeFirst();
    }

    QMessageBox::StandardButton question(QWidget *, const QString &title, const QString &text,
                                         QMessageBox::StandardButtons buttons,
                                         QMessageBox::StandardButton defaultButton) override
    {
        asked.append({ QStringLiteral("question"), title, text, QString(), buttons, defaultButton });
        return answers.isEmpty() ? defaultButton : answers.takeFirst();
    }

    int exec(QDialog &dialog) override
    {
        asked.append({ QStringLiteral("exec"), dialog.windowTitle(), QString(), QString() });
        return dialogs.isEmpty() ? int(QDialog::Rejected) : dialogs.takeFirst()(dialog);
    }

    // Addresses handed to the desktop are only recorded.
    QList<QUrl> opened;
    bool openUrl(const QUrl &url) override
    {
        opened.append(url);
        return true;
    }
};
