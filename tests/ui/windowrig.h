#pragma once

// A main window with scripted answers and a private settings store, and the
// small readers its tests need: the log's lines and levels, the panel's parts.

#include "identity.h"
#include "logconsole.h"
#include "mainwindow.h"
#include "panelpalette.h"
#include "queuemodel.h"
#include "scriptedprompts.h"
#include "settingssandbox.h"
#include "statuschip.h"
#include "vfdpanel.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QtTest>

#include <memory>

class WindowRig
{
public:
    // A second window may share the store of a rig that is still alive, to
    // see what the first one left there.
    enum Store { FreshStore, SameStore };

    // Settings changes made before the window is built are what it starts with.
    explicit WindowRig(const std::function<void(ks::Settings &)> &prepare = {}, Store store = FreshStore)
    {
        if (store == FreshStore)
            sandbox = std::make_unique<ks::test::SettingsSandbox>();
        ks::applyIdentity();
        if (prepare)
            prepare(ks::appSettings());
        auto scripted = std::make_unique<ScriptedPrompts>();
        prompts = scripted.get();
        window = std::make_unique<ks::MainWindow>();
        window->setPrompts(std::move(scripted));
    }

    template<typename T>
    T *find(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }

    QString panelText(const char *name) const
    {
        if (auto *chip = find<ks::StatusChip>(name))
            return chip->text();
        return find<QLabel>(name)->text();
    }
    // A menu bar entry by its text without the mnemonic.
    static QString plain(QString text) { return text.remove(QLatin1Char('&')); }
    QAction *command(const QString &text) const
    {
        for (QAction *menu : window->menuBar()->actions()) {
            for (QAction *action : menu->menu()->actions()) {
                if (plain(action->text()) == text)
                    return action;
            }
        }
        return nullptr;
    }
    ks::QueueModel *queue() const { return window->findChild<ks::QueueModel *>(); }
    bool lit(const char *name) const { return find<ks::StatusChip>(name)->isLit(); }
    QString status() const { return find<QLabel>("statusLabel")->text(); }

    // Each log line without its timestamp, with its level read off its colour.
    struct Line
    {
        QString text;
        int level = -1;
    };
    QList<Line> log() const
    {
        QStringList colours;
        for (const QRgb colour : ks::PanelPalette::LogLevels)
            colours << QColor(colour).name();
        QList<Line> lines;
        const QTextDocument *document = find<ks::LogConsole>("LogConsole")->document();
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
            if (block.text().isEmpty())
                continue;
            Line line;
            line.text = block.text().section(QLatin1String("] "), 1);
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const int level = int(colours.indexOf(it.fragment().charFormat().foreground().color().name()));
                if (level >= 0)
                    line.level = level;
            }
            lines.append(line);
        }
        return lines;
    }
    QStringList logTexts() const
    {
        QStringList texts;
        for (const Line &line : log())
            texts << line.text;
        return texts;
    }
    Line lastLog() const { return log().isEmpty() ? Line() : log().last(); }

    std::unique_ptr<ks::test::SettingsSandbox> sandbox; // first in, last out
    ScriptedPrompts *prompts = nullptr;
    std::unique_ptr<ks::MainWindow> window;
};
