#pragma once

#include "userprompts.h"

#include <QDialog>
#include <QList>

#include <functional>

// Answers the program's modal questions from queues the test fills, and
// records every question asked. An unscripted picker is cancelled, an
// unscripted box gets its default answer and an unscripted dialog is
// rejected, so a test that forgot an answer sees the cautious path, not a hang.
class ScriptedPrompts final : public ks::UserPrompts
{
public:
    struct Asked
    {
        QString method;  // the UserPrompts function asked
        QString caption; // caption of a picker, title of a box or dialog
        QString text;    // a box's text, a folder picker's start, a file picker's filter
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    };
    QList<QStringList> fileNames;                 // openFileNames
    QList<QString> paths;                         // existingDirectory
    QList<QMessageBox::StandardButton> answers;   // message boxes
    QList<std::function<int(QDialog &)>> dialogs; // exec: may edit the dialog, returns its result
    QList<Asked> asked;

    QStringList openFileNames(QWidget *, const QString &caption, const QString &, const QString &filter) override
    {
        asked.append({ QStringLiteral("openFileNames"), caption, filter });
        return fileNames.isEmpty() ? QStringList() : fileNames.takeFirst();
    }
    QString existingDirectory(QWidget *, const QString &caption, const QString &dir) override
    {
        asked.append({ QStringLiteral("existingDirectory"), caption, dir });
        return paths.isEmpty() ? QString() : paths.takeFirst();
    }
    QMessageBox::StandardButton warning(QWidget *, const QString &title, const QString &text) override
    {
        return box({ QStringLiteral("warning"), title, text, QMessageBox::Ok });
    }
    QMessageBox::StandardButton information(QWidget *, const QString &title, const QString &text) override
    {
        return box({ QStringLiteral("information"), title, text, QMessageBox::Ok });
    }
    QMessageBox::StandardButton question(QWidget *, const QString &title, const QString &text,
                                         QMessageBox::StandardButtons, QMessageBox::StandardButton def) override
    {
        return box({ QStringLiteral("question"), title, text, def });
    }
    int exec(QDialog &dialog) override
    {
        asked.append({ QStringLiteral("exec"), dialog.windowTitle(), QString() });
        return dialogs.isEmpty() ? int(QDialog::Rejected) : dialogs.takeFirst()(dialog);
    }

private:
    QMessageBox::StandardButton box(const Asked &question)
    {
        asked.append(question);
        return answers.isEmpty() ? question.defaultButton : answers.takeFirst();
    }
};
