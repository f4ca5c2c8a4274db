<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>ks::AboutDialog</name>
    <message>
        <source>About Kestrova</source>
        <translation>Über Kestrova</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>Automatic silence trimming and batch topping and tailing, part of the %1 suite.</source>
        <translation>Automatisches Kürzen und Auffüllen der Stille an Anfang und Ende ganzer Dateistapel, Teil der %1-Suite.</translation>
    </message>
    <message>
        <source>© 2026 %1. All rights reserved.</source>
        <translation>© 2026 %1. Alle Rechte vorbehalten.</translation>
    </message>
    <message>
        <source>&lt;span style=&apos;color:%1; font-size:small&apos;&gt;Uses FFmpeg under the LGPL v3. Its licence and source details are in the ffmpeg folder.&lt;/span&gt;</source>
        <translation>&lt;span style=&apos;color:%1; font-size:small&apos;&gt;Verwendet FFmpeg unter der LGPL v3. Lizenz und Angaben zum Quellcode stehen im Ordner „ffmpeg“.&lt;/span&gt;</translation>
    </message>
    <message>
        <source>&lt;span style=&apos;color:%1; font-size:small&apos;&gt;Uses the system&apos;s FFmpeg, which comes with its own licence (see /usr/share/doc/ffmpeg).&lt;/span&gt;</source>
        <translation>&lt;span style=&apos;color:%1; font-size:small&apos;&gt;Verwendet das FFmpeg des Systems, das seine eigene Lizenz mitbringt (siehe /usr/share/doc/ffmpeg).&lt;/span&gt;</translation>
    </message>
</context>
<context>
    <name>ks::AddCommands</name>
    <message>
        <source>Audio files (%1);;All files (*)</source>
        <translation>Audiodateien (%1);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Add audio files</source>
        <translation>Audiodateien hinzufügen</translation>
    </message>
    <message numerus="yes">
        <source>Added %n file(s).</source>
        <translation>
            <numerusform>%n Datei hinzugefügt.</numerusform>
            <numerusform>%n Dateien hinzugefügt.</numerusform>
        </translation>
    </message>
    <message>
        <source>Add folder</source>
        <translation>Ordner hinzufügen</translation>
    </message>
    <message numerus="yes">
        <source>Ignored %n dropped file(s) that are not of a scanned type.</source>
        <translation>
            <numerusform>%n abgelegte Datei übergangen, deren Typ nicht gesucht wird.</numerusform>
            <numerusform>%n abgelegte Dateien übergangen, deren Typ nicht gesucht wird.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) already queued.</source>
        <translation>
            <numerusform>%n Datei war schon in der Warteschlange.</numerusform>
            <numerusform>%n Dateien waren schon in der Warteschlange.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ks::DesktopReporter</name>
    <message numerus="yes">
        <source>Analysis stopped - %n file(s) analysed</source>
        <translation>
            <numerusform>Analyse angehalten - %n Datei analysiert</numerusform>
            <numerusform>Analyse angehalten - %n Dateien analysiert</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Analysed %n file(s)</source>
        <translation>
            <numerusform>%n Datei analysiert</numerusform>
            <numerusform>%n Dateien analysiert</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Trim stopped - %n file(s) trimmed</source>
        <translation>
            <numerusform>Trimmen angehalten - %n Datei getrimmt</numerusform>
            <numerusform>Trimmen angehalten - %n Dateien getrimmt</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Trimmed %n file(s)</source>
        <translation>
            <numerusform>%n Datei getrimmt</numerusform>
            <numerusform>%n Dateien getrimmt</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 skipped</source>
        <translation>%1 ausgelassen</translation>
    </message>
    <message>
        <source>%1 failed</source>
        <translation>%1 fehlgeschlagen</translation>
    </message>
</context>
<context>
    <name>ks::EdgePlayer</name>
    <message>
        <source>the player could not be started</source>
        <translation>der Player konnte nicht gestartet werden</translation>
    </message>
    <message>
        <source>no audio device could be opened</source>
        <translation>kein Audiogerät ließ sich öffnen</translation>
    </message>
    <message>
        <source>the player stopped with an error</source>
        <translation>der Player brach mit einem Fehler ab</translation>
    </message>
</context>
<context>
    <name>ks::EdgePreview</name>
    <message>
        <source>EDGES</source>
        <translation>RÄNDER</translation>
    </message>
    <message>
        <source>HEAD</source>
        <translation>ANFANG</translation>
    </message>
    <message>
        <source>TAIL</source>
        <translation>ENDE</translation>
    </message>
    <message>
        <source>Play head</source>
        <translation>Anfang abspielen</translation>
    </message>
    <message>
        <source>Play tail</source>
        <translation>Ende abspielen</translation>
    </message>
    <message>
        <source>Analyse the file to see its head and tail.</source>
        <translation>Analysieren Sie die Datei, um Anfang und Ende zu sehen.</translation>
    </message>
    <message>
        <source>NOT MEASURED</source>
        <translation>NICHT GEMESSEN</translation>
    </message>
    <message>
        <source>Select one file to see its head and tail.</source>
        <translation>Wählen Sie eine Datei, um Anfang und Ende zu sehen.</translation>
    </message>
    <message>
        <source>WRITTEN FILE</source>
        <translation>GESCHRIEBENE DATEI</translation>
    </message>
    <message>
        <source>SOURCE</source>
        <translation>QUELLE</translation>
    </message>
    <message>
        <source>CUT %1 S</source>
        <translation>KÜRZEN %1 S</translation>
    </message>
    <message>
        <source>ADD %1 S</source>
        <translation>ERGÄNZEN %1 S</translation>
    </message>
    <message>
        <source>NO CHANGE</source>
        <translation>UNVERÄNDERT</translation>
    </message>
    <message>
        <source>SILENCE %1 S</source>
        <translation>STILLE %1 S</translation>
    </message>
    <message>
        <source>Waiting for the run to finish...</source>
        <translation>Warten, bis der Lauf beendet ist...</translation>
    </message>
    <message>
        <source>Reading...</source>
        <translation>Wird gelesen...</translation>
    </message>
    <message>
        <source>Cannot read the edges - %1</source>
        <translation>Die Ränder können nicht gelesen werden - %1</translation>
    </message>
    <message>
        <source>Nothing was played - %1.</source>
        <translation>Nichts wurde abgespielt - %1.</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
</context>
<context>
    <name>ks::EndMode</name>
    <message>
        <source>OFF</source>
        <translation>AUS</translation>
    </message>
    <message>
        <source>MAX %1 MS</source>
        <translation>MAX. %1 MS</translation>
    </message>
    <message>
        <source>MIN %1 MS</source>
        <translation>MIN. %1 MS</translation>
    </message>
    <message>
        <source>SET %1 MS</source>
        <translation>GENAU %1 MS</translation>
    </message>
</context>
<context>
    <name>ks::LogConsole</name>
    <message>
        <source>Clear</source>
        <translation>Leeren</translation>
    </message>
    <message>
        <source>Save as...</source>
        <translation>Speichern unter...</translation>
    </message>
</context>
<context>
    <name>ks::MainWindow</name>
    <message>
        <source>Kestrova %1 ready.</source>
        <translation>Kestrova %1 ist bereit.</translation>
    </message>
    <message>
        <source>Using %1</source>
        <translation>Verwende %1</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Add files</source>
        <translation>Dateien hinzufügen</translation>
    </message>
    <message>
        <source>Add folder</source>
        <translation>Ordner hinzufügen</translation>
    </message>
    <message>
        <source>Analyse</source>
        <translation>Analysieren</translation>
    </message>
    <message>
        <source>Trim Now</source>
        <translation>Trimmen</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Idle</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Stopping...</source>
        <translation>Wird angehalten...</translation>
    </message>
    <message>
        <source>Stop requested.</source>
        <translation>Anhalten angefordert.</translation>
    </message>
    <message>
        <source>Preferences saved.</source>
        <translation>Einstellungen gespeichert.</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>A run is still going. Stop it and quit?</source>
        <translation>Es läuft noch ein Durchgang. Anhalten und beenden?</translation>
    </message>
    <message>
        <source>Nothing can be added while a run is going.</source>
        <translation>Während eines Durchgangs kann nichts hinzugefügt werden.</translation>
    </message>
    <message>
        <source>&amp;Kestrova</source>
        <translation>&amp;Kestrova</translation>
    </message>
    <message>
        <source>&amp;Jobs</source>
        <translation>&amp;Aufträge</translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) queued</source>
        <translation>
            <numerusform>%n Datei in der Warteschlange</numerusform>
            <numerusform>%n Dateien in der Warteschlange</numerusform>
        </translation>
    </message>
    <message>
        <source>Save log</source>
        <translation>Protokoll speichern</translation>
    </message>
    <message>
        <source>Text files (*.txt);;All files (*)</source>
        <translation>Textdateien (*.txt);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Cannot save the log to %1 - %2</source>
        <translation>Das Protokoll kann nicht in %1 gespeichert werden - %2</translation>
    </message>
    <message>
        <source>Log saved to %1</source>
        <translation>Protokoll in %1 gespeichert</translation>
    </message>
    <message>
        <source>&amp;Overwrite originals</source>
        <translation>&amp;Originale überschreiben</translation>
    </message>
    <message numerus="yes">
        <source>Restored %n file(s) queued in the last session.</source>
        <translation>
            <numerusform>%n Datei der letzten Sitzung wieder in der Warteschlange.</numerusform>
            <numerusform>%n Dateien der letzten Sitzung wieder in der Warteschlange.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Dropped %n file(s) of the last session&apos;s queue that no longer exist.</source>
        <translation>
            <numerusform>%n Datei der letzten Warteschlange gibt es nicht mehr; sie wurde entfernt.</numerusform>
            <numerusform>%n Dateien der letzten Warteschlange gibt es nicht mehr; sie wurden entfernt.</numerusform>
        </translation>
    </message>
    <message>
        <source>Last run: %1</source>
        <translation>Letzter Lauf: %1</translation>
    </message>
</context>
<context>
    <name>ks::PreferencesDialog</name>
    <message>
        <source> ms</source>
        <translation> ms</translation>
    </message>
    <message>
        <source>Leave alone</source>
        <translation>Unverändert lassen</translation>
    </message>
    <message>
        <source>Cut back to the target</source>
        <translation>Auf Ziel kürzen</translation>
    </message>
    <message>
        <source>Top up to the target</source>
        <translation>Auf Ziel auffüllen</translation>
    </message>
    <message>
        <source>Make it exactly the target</source>
        <translation>Genau auf Ziel setzen</translation>
    </message>
    <message>
        <source>target</source>
        <translation>Ziel</translation>
    </message>
    <message>
        <source>Preferences</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Silence</source>
        <translation>Stille</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>Ausgabe</translation>
    </message>
    <message>
        <source>Scanning</source>
        <translation>Ordnersuche</translation>
    </message>
    <message>
        <source>Advanced</source>
        <translation>Erweitert</translation>
    </message>
    <message>
        <source>Detection</source>
        <translation>Erkennung</translation>
    </message>
    <message>
        <source> dBFS</source>
        <translation> dBFS</translation>
    </message>
    <message>
        <source> s</source>
        <translation> s</translation>
    </message>
    <message>
        <source>Threshold</source>
        <translation>Schwelle</translation>
    </message>
    <message>
        <source>Minimum silence</source>
        <translation>Mindestdauer der Stille</translation>
    </message>
    <message>
        <source>Refuse to remove more than</source>
        <translation>Nie mehr entfernen als</translation>
    </message>
    <message>
        <source>Silence at each end</source>
        <translation>Stille an den Enden</translation>
    </message>
    <message>
        <source>Re-encode the file</source>
        <translation>Datei neu kodieren</translation>
    </message>
    <message>
        <source>Skip the file</source>
        <translation>Datei auslassen</translation>
    </message>
    <message>
        <source>Silence has to be generated by a filter, and a filter needs an encoder, so a file that needs silence added cannot be stream copied.</source>
        <translation>Stille muss von einem Filter erzeugt werden, und ein Filter braucht einen Encoder. Eine Datei, der Stille hinzugefügt werden muss, lässt sich daher nicht per Stream-Kopie schreiben.</translation>
    </message>
    <message>
        <source>Head</source>
        <translation>Anfang</translation>
    </message>
    <message>
        <source>Tail</source>
        <translation>Ende</translation>
    </message>
    <message>
        <source>When silence must be added</source>
        <translation>Wenn Stille ergänzt werden muss</translation>
    </message>
    <message>
        <source>Write copies to another folder, mirroring the source tree</source>
        <translation>Kopien in einen anderen Ordner schreiben, mit der Ordnerstruktur der Quelle</translation>
    </message>
    <message>
        <source>Browse...</source>
        <translation>Durchsuchen...</translation>
    </message>
    <message>
        <source>Destination</source>
        <translation>Ziel</translation>
    </message>
    <message>
        <source>Overwrite the original files in place</source>
        <translation>Die Originaldateien direkt überschreiben</translation>
    </message>
    <message>
        <source>Stream copy - lossless, cuts on frame boundaries</source>
        <translation>Stream-Kopie - verlustfrei, schneidet an Frame-Grenzen</translation>
    </message>
    <message>
        <source>Re-encode - sample accurate, re-compresses</source>
        <translation>Neu kodieren - samplegenau, komprimiert erneut</translation>
    </message>
    <message>
        <source>Method</source>
        <translation>Verfahren</translation>
    </message>
    <message>
        <source>Preserve the original modified time</source>
        <translation>Ursprüngliche Änderungszeit beibehalten</translation>
    </message>
    <message>
        <source>Keep a .bak copy when overwriting in place</source>
        <translation>Beim Überschreiben eine .bak-Kopie behalten</translation>
    </message>
    <message>
        <source>Skip files that already match the targets</source>
        <translation>Dateien auslassen, die den Zielen schon entsprechen</translation>
    </message>
    <message>
        <source>mp3 wav flac ogg</source>
        <translation>mp3 wav flac ogg</translation>
    </message>
    <message>
        <source>Include sub folders</source>
        <translation>Unterordner einbeziehen</translation>
    </message>
    <message>
        <source>Extensions</source>
        <translation>Dateiendungen</translation>
    </message>
    <message>
        <source>Separate extensions with spaces or commas. Only these files are picked up when a folder is added.</source>
        <translation>Endungen durch Leerzeichen oder Kommas trennen. Beim Hinzufügen eines Ordners werden nur diese Dateien aufgenommen.</translation>
    </message>
    <message>
        <source>Tools</source>
        <translation>Werkzeuge</translation>
    </message>
    <message>
        <source>leave blank to search the app folder and PATH</source>
        <translation>leer lassen, um im Programmordner und im PATH zu suchen</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>ffmpeg</source>
        <translation>ffmpeg</translation>
    </message>
    <message>
        <source>Locate ffmpeg</source>
        <translation>ffmpeg auswählen</translation>
    </message>
    <message>
        <source>ffprobe</source>
        <translation>ffprobe</translation>
    </message>
    <message>
        <source>Locate ffprobe</source>
        <translation>ffprobe auswählen</translation>
    </message>
    <message>
        <source>Updates</source>
        <translation>Updates</translation>
    </message>
    <message>
        <source>Check for updates at start up</source>
        <translation>Beim Start nach Updates suchen</translation>
    </message>
    <message>
        <source>Destination folder</source>
        <translation>Zielordner</translation>
    </message>
    <message>
        <source>%1 does not exist.</source>
        <translation>%1 gibt es nicht.</translation>
    </message>
    <message>
        <source>%1 is a folder, not a program.</source>
        <translation>%1 ist ein Ordner, kein Programm.</translation>
    </message>
    <message>
        <source>%1 is not a program that can be run.</source>
        <translation>%1 ist kein ausführbares Programm.</translation>
    </message>
    <message>
        <source>One per processor core</source>
        <translation>Eine je Prozessorkern</translation>
    </message>
    <message>
        <source>Files at once</source>
        <translation>Dateien gleichzeitig</translation>
    </message>
    <message>
        <source>Desktop</source>
        <translation>Desktop</translation>
    </message>
    <message>
        <source>Show a desktop notification and taskbar progress for long runs</source>
        <translation>Bei langen Läufen eine Desktop-Benachrichtigung und den Fortschritt in der Taskleiste zeigen</translation>
    </message>
    <message>
        <source>As the source</source>
        <translation>Wie die Quelle</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Hoch</translation>
    </message>
    <message>
        <source>Medium</source>
        <translation>Mittel</translation>
    </message>
    <message>
        <source>Small</source>
        <translation>Klein</translation>
    </message>
    <message>
        <source>What a re-encode may spend: what the source spent, or a level of the encoder&apos;s own (for stereo AAC: High 192, Medium 128, Small 96 kbit/s).</source>
        <translation>Wie viel eine Neukodierung aufwenden darf: so viel wie die Quelle oder eine Stufe des Encoders (für Stereo-AAC: Hoch 192, Mittel 128, Klein 96 kbit/s).</translation>
    </message>
    <message>
        <source>Quality</source>
        <translation>Qualität</translation>
    </message>
</context>
<context>
    <name>ks::QueueCommands</name>
    <message>
        <source>QUEUE CLEARED</source>
        <translation>WARTESCHLANGE GELEERT</translation>
    </message>
    <message>
        <source>None of the selected files has a backup.</source>
        <translation>Keine der ausgewählten Dateien hat eine Sicherung.</translation>
    </message>
    <message numerus="yes">
        <source>Put the original of %n file(s) back from its backup? The trimmed version is replaced and the backup is used up.</source>
        <translation>
            <numerusform>Das Original von %n Datei aus der Sicherung zurückholen? Die getrimmte Fassung wird ersetzt, die Sicherung dabei aufgebraucht.</numerusform>
            <numerusform>Die Originale von %n Dateien aus ihren Sicherungen zurückholen? Die getrimmten Fassungen werden ersetzt, die Sicherungen dabei aufgebraucht.</numerusform>
        </translation>
    </message>
    <message>
        <source>Restore original</source>
        <translation>Original wiederherstellen</translation>
    </message>
    <message>
        <source>%1 - original restored</source>
        <translation>%1 - Original wiederhergestellt</translation>
    </message>
    <message numerus="yes">
        <source>Delete the backups of %n file(s)? The originals cannot be restored afterwards.</source>
        <translation>
            <numerusform>Die Sicherung von %n Datei löschen? Das Original lässt sich danach nicht mehr wiederherstellen.</numerusform>
            <numerusform>Die Sicherungen von %n Dateien löschen? Die Originale lassen sich danach nicht mehr wiederherstellen.</numerusform>
        </translation>
    </message>
    <message>
        <source>Delete backups</source>
        <translation>Sicherungen löschen</translation>
    </message>
    <message numerus="yes">
        <source>Deleted %n backup(s).</source>
        <translation>
            <numerusform>%n Sicherung gelöscht.</numerusform>
            <numerusform>%n Sicherungen gelöscht.</numerusform>
        </translation>
    </message>
    <message>
        <source>Show in folder</source>
        <translation>Im Ordner zeigen</translation>
    </message>
    <message>
        <source>Open output folder</source>
        <translation>Ausgabeordner öffnen</translation>
    </message>
    <message>
        <source>Cannot open %1</source>
        <translation>%1 kann nicht geöffnet werden</translation>
    </message>
    <message numerus="yes">
        <source>Removed %n file(s) from the queue.</source>
        <translation>
            <numerusform>%n Datei aus der Warteschlange entfernt.</numerusform>
            <numerusform>%n Dateien aus der Warteschlange entfernt.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Cleared the queue of %n file(s).</source>
        <translation>
            <numerusform>Warteschlange mit %n Datei geleert.</numerusform>
            <numerusform>Warteschlange mit %n Dateien geleert.</numerusform>
        </translation>
    </message>
    <message>
        <source>Export report</source>
        <translation>Bericht exportieren</translation>
    </message>
    <message>
        <source>CSV files (*.csv);;All files (*)</source>
        <translation>CSV-Dateien (*.csv);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Cannot save the report to %1 - %2</source>
        <translation>Bericht kann nicht unter %1 gespeichert werden - %2</translation>
    </message>
    <message numerus="yes">
        <source>Report of %n file(s) saved to %1</source>
        <translation>
            <numerusform>Bericht über %n Datei unter %1 gespeichert</numerusform>
            <numerusform>Bericht über %n Dateien unter %1 gespeichert</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ks::QueueModel</name>
    <message>
        <source>Head silence measured %1, adjustment %2</source>
        <translation>Stille am Anfang: gemessen %1, Änderung %2</translation>
    </message>
    <message>
        <source>Tail silence measured %1, adjustment %2</source>
        <translation>Stille am Ende: gemessen %1, Änderung %2</translation>
    </message>
    <message>
        <source>Head silence not measured</source>
        <translation>Stille am Anfang: nicht gemessen</translation>
    </message>
    <message>
        <source>Tail silence not measured</source>
        <translation>Stille am Ende: nicht gemessen</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Length</source>
        <translation>Länge</translation>
    </message>
    <message>
        <source>Head</source>
        <translation>Anfang</translation>
    </message>
    <message>
        <source>Tail</source>
        <translation>Ende</translation>
    </message>
    <message>
        <source>New length</source>
        <translation>Neue Länge</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Ergebnis</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keine</translation>
    </message>
</context>
<context>
    <name>ks::QueueView</name>
    <message>
        <source>Drop audio files or folders here, or use Add files / Add folder</source>
        <translation>Audiodateien oder Ordner hier ablegen oder „Dateien hinzufügen“ / „Ordner hinzufügen“ verwenden</translation>
    </message>
</context>
<context>
    <name>ks::RunCheck</name>
    <message>
        <source>nothing is queued.</source>
        <translation>in der Warteschlange ist nichts.</translation>
    </message>
    <message>
        <source>both the head and the tail are set to leave alone, so there is nothing to change.</source>
        <translation>Anfang und Ende sollen beide unverändert bleiben, es gibt also nichts zu ändern.</translation>
    </message>
    <message>
        <source>no destination folder is set.</source>
        <translation>es ist kein Zielordner festgelegt.</translation>
    </message>
    <message>
        <source>the destination is the folder being trimmed - every copy would overwrite its source.</source>
        <translation>der Zielordner ist der Ordner, der getrimmt wird - jede Kopie würde ihr Original überschreiben.</translation>
    </message>
</context>
<context>
    <name>ks::RunCommands</name>
    <message>
        <source>No failed files to retry.</source>
        <translation>Keine fehlgeschlagenen Dateien zum Wiederholen.</translation>
    </message>
    <message>
        <source>Choose the destination folder</source>
        <translation>Zielordner wählen</translation>
    </message>
    <message>
        <source>ffmpeg not found</source>
        <translation>ffmpeg nicht gefunden</translation>
    </message>
    <message>
        <source>Nothing to do</source>
        <translation>Nichts zu tun</translation>
    </message>
    <message>
        <source>Destination folder</source>
        <translation>Zielordner</translation>
    </message>
    <message>
        <source>Overwrite originals</source>
        <translation>Originale ersetzen</translation>
    </message>
    <message>
        <source>No files are selected.</source>
        <translation>Es sind keine Dateien ausgewählt.</translation>
    </message>
    <message>
        <source>Add files or a folder first.</source>
        <translation>Fügen Sie zuerst Dateien oder einen Ordner hinzu.</translation>
    </message>
    <message>
        <source>Set a target for at least one end in Preferences.</source>
        <translation>Legen Sie in den Einstellungen für mindestens ein Ende ein Ziel fest.</translation>
    </message>
    <message>
        <source>Destination: %1
Choose another destination in Preferences, or overwrite the originals.</source>
        <translation>Ziel: %1
Wählen Sie in den Einstellungen ein anderes Ziel oder lassen Sie die Originale direkt überschreiben.</translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) that failed in an analysis wait for the next retry.</source>
        <translation>
            <numerusform>%n bei einer Analyse fehlgeschlagene Datei wartet auf den nächsten Neuversuch.</numerusform>
            <numerusform>%n bei einer Analyse fehlgeschlagene Dateien warten auf den nächsten Neuversuch.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n queued file(s) lie inside the destination folder %1, so their trimmed copies are written among the files there.

Trim anyway?</source>
        <translation>
            <numerusform>%n Datei der Warteschlange liegt im Zielordner %1, ihre gekürzte Kopie wird also zwischen die Dateien dort geschrieben.

Trotzdem kürzen?</numerusform>
            <numerusform>%n Dateien der Warteschlange liegen im Zielordner %1, ihre gekürzten Kopien werden also zwischen die Dateien dort geschrieben.

Trotzdem kürzen?</numerusform>
        </translation>
    </message>
    <message>
        <source>Existing files</source>
        <translation>Vorhandene Dateien</translation>
    </message>
    <message numerus="yes">
        <source>The destination folder %1 already holds a file of the same name for %n of the queued file(s).

Replace them with the trimmed copies, skip those files, or keep both (the new copy is named like &quot;name (2).mp3&quot;)?</source>
        <translation>
            <numerusform>Der Zielordner %1 enthält bereits eine gleichnamige Datei für %n der Dateien in der Warteschlange.

Sollen sie durch die gekürzten Kopien ersetzt, diese Dateien übersprungen oder beide behalten werden (die neue Kopie heißt dann etwa „name (2).mp3“)?</numerusform>
            <numerusform>Der Zielordner %1 enthält bereits gleichnamige Dateien für %n der Dateien in der Warteschlange.

Sollen sie durch die gekürzten Kopien ersetzt, diese Dateien übersprungen oder beide behalten werden (die neue Kopie heißt dann etwa „name (2).mp3“)?</numerusform>
        </translation>
    </message>
    <message>
        <source>Replace</source>
        <translation>Ersetzen</translation>
    </message>
    <message>
        <source>Skip</source>
        <translation>Überspringen</translation>
    </message>
    <message>
        <source>Keep both</source>
        <translation>Beide behalten</translation>
    </message>
</context>
<context>
    <name>ks::RunFeedback</name>
    <message>
        <source>Scanning %1...</source>
        <translation>%1 wird durchsucht...</translation>
    </message>
    <message>
        <source>Scanning %1</source>
        <translation>%1 wird durchsucht</translation>
    </message>
    <message>
        <source>Analysing...</source>
        <translation>Analyse läuft...</translation>
    </message>
    <message>
        <source>Analysing %1 file(s).</source>
        <translation>%1 Datei(en) werden analysiert.</translation>
    </message>
    <message>
        <source>Trimming...</source>
        <translation>Trimmen läuft...</translation>
    </message>
    <message>
        <source>Trimming %1 file(s).</source>
        <translation>%1 Datei(en) werden getrimmt.</translation>
    </message>
    <message>
        <source>Idle</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>Scan stopped - %1 file(s) found.</source>
        <translation>Suche angehalten - %1 Datei(en) gefunden.</translation>
    </message>
    <message>
        <source>Scan complete - %1 file(s) found.</source>
        <translation>Suche abgeschlossen - %1 Datei(en) gefunden.</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>LAST %1</source>
        <translation>ZULETZT %1</translation>
    </message>
    <message>
        <source>%1 SCANNED</source>
        <translation>%1 GEPRÜFT</translation>
    </message>
    <message>
        <source>%1 WRITTEN</source>
        <translation>%1 GESCHRIEBEN</translation>
    </message>
    <message>
        <source>%1 SKIPPED</source>
        <translation>%1 AUSGELASSEN</translation>
    </message>
    <message>
        <source>%1 FAIL</source>
        <translation>%1 FEHLER</translation>
    </message>
    <message>
        <source>%1 S CUT</source>
        <translation>%1 S GEKÜRZT</translation>
    </message>
    <message>
        <source>%1 S ADDED</source>
        <translation>%1 S ERGÄNZT</translation>
    </message>
    <message>
        <source>%1 of %2 - %3</source>
        <translation>%1 von %2 - %3</translation>
    </message>
    <message>
        <source>about a minute left</source>
        <translation>noch etwa eine Minute</translation>
    </message>
    <message>
        <source>about %1 min left</source>
        <translation>noch etwa %1 min</translation>
    </message>
    <message>
        <source>%1 WOULD CHANGE</source>
        <translation>%1 ZU ÄNDERN</translation>
    </message>
    <message>
        <source>%1 S TO CUT</source>
        <translation>%1 S ZU KÜRZEN</translation>
    </message>
    <message>
        <source>%1 S TO ADD</source>
        <translation>%1 S ZU ERGÄNZEN</translation>
    </message>
    <message>
        <source>%1 dB</source>
        <translation>%1 dB</translation>
    </message>
    <message>
        <source>%1 S</source>
        <translation>%1 S</translation>
    </message>
    <message>
        <source>HEAD %1</source>
        <translation>ANFANG %1</translation>
    </message>
    <message>
        <source>TAIL %1</source>
        <translation>ENDE %1</translation>
    </message>
    <message>
        <source>OUT</source>
        <translation>ZIEL</translation>
    </message>
    <message>
        <source>IN PLACE</source>
        <translation>ÜBERSCHREIBEN</translation>
    </message>
    <message>
        <source>BACKUP ON</source>
        <translation>MIT SICHERUNG</translation>
    </message>
    <message>
        <source>NO BACKUP</source>
        <translation>OHNE SICHERUNG</translation>
    </message>
    <message>
        <source>MIRROR</source>
        <translation>KOPIEN</translation>
    </message>
    <message>
        <source>NOT SET</source>
        <translation>NICHT GEWÄHLT</translation>
    </message>
    <message numerus="yes">
        <source>%n already queued</source>
        <translation>
            <numerusform>%n schon in der Warteschlange</numerusform>
            <numerusform>%n schon in der Warteschlange</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n inside the destination folder %1</source>
        <translation>
            <numerusform>%n im Zielordner %1</numerusform>
            <numerusform>%n im Zielordner %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n added; not added: %1.</source>
        <translation>
            <numerusform>%n hinzugefügt; nicht hinzugefügt: %1.</numerusform>
            <numerusform>%n hinzugefügt; nicht hinzugefügt: %1.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ks::RunTexts</name>
    <message>
        <source>A .bak copy of every trimmed file will be kept alongside it.</source>
        <translation>Neben jeder getrimmten Datei bleibt eine .bak-Kopie erhalten.</translation>
    </message>
    <message>
        <source>No backups will be kept. This cannot be undone.</source>
        <translation>Es werden keine Sicherungskopien behalten. Das lässt sich nicht rückgängig machen.</translation>
    </message>
    <message>
        <source>%1 file(s) will be rewritten in place.

Head: %2
Tail: %3

%4

Continue?</source>
        <translation>%1 Datei(en) werden direkt überschrieben.

Anfang: %2
Ende: %3

%4

Fortfahren?</translation>
    </message>
    <message>
        <source>Analysis %1 - %2 file(s) measured.</source>
        <translation>Analyse %1 - %2 Datei(en) gemessen.</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>angehalten</translation>
    </message>
    <message>
        <source>complete</source>
        <translation>abgeschlossen</translation>
    </message>
    <message>
        <source>%1 - %2 written, %3 skipped, %4 failed, %5 s cut, %6 s added.</source>
        <translation>%1 - %2 geschrieben, %3 ausgelassen, %4 fehlgeschlagen, %5 s gekürzt, %6 s ergänzt.</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>Angehalten</translation>
    </message>
    <message>
        <source>Complete</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>Analysis %1 - %2 measured, %3 failed.</source>
        <translation>Analyse %1 - %2 gemessen, %3 fehlgeschlagen.</translation>
    </message>
    <message>
        <source>Analysis %1 - %2 measured, %3 skipped, %4 failed.</source>
        <translation>Analyse %1 - %2 gemessen, %3 ausgelassen, %4 fehlgeschlagen.</translation>
    </message>
</context>
<context>
    <name>ks::UpdateChecker</name>
    <message>
        <source>Update endpoint is not a valid URL: %1</source>
        <translation>Die Update-Adresse ist keine gültige URL: %1</translation>
    </message>
    <message>
        <source>Update server sent a malformed reply.</source>
        <translation>Der Update-Server hat eine fehlerhafte Antwort gesendet.</translation>
    </message>
    <message>
        <source>Update check timed out.</source>
        <translation>Zeitüberschreitung bei der Suche nach Updates.</translation>
    </message>
    <message>
        <source>The update server answered with an error (HTTP %1).</source>
        <translation>Der Update-Server hat mit einem Fehler geantwortet (HTTP %1).</translation>
    </message>
</context>
<context>
    <name>ks::UpdateDialog</name>
    <message>
        <source>Important update</source>
        <translation>Wichtiges Update</translation>
    </message>
    <message>
        <source>Update available</source>
        <translation>Update verfügbar</translation>
    </message>
    <message>
        <source>&lt;b&gt;%1 %2&lt;/b&gt; is available.</source>
        <translation>&lt;b&gt;%1 %2&lt;/b&gt; ist verfügbar.</translation>
    </message>
    <message>
        <source>You are running %1.</source>
        <translation>Sie verwenden %1.</translation>
    </message>
    <message>
        <source>Released %1.</source>
        <translation>Veröffentlicht: %1.</translation>
    </message>
    <message>
        <source>&lt;span style=&apos;color:#B0301F&apos;&gt;&lt;b&gt;This release is marked critical.&lt;/b&gt;&lt;/span&gt;</source>
        <translation>&lt;span style=&apos;color:#B0301F&apos;&gt;&lt;b&gt;Diese Version ist als kritisch eingestuft.&lt;/b&gt;&lt;/span&gt;</translation>
    </message>
    <message>
        <source>No release notes were published.</source>
        <translation>Es wurden keine Versionshinweise veröffentlicht.</translation>
    </message>
    <message>
        <source>Release notes</source>
        <translation>Versionshinweise</translation>
    </message>
    <message>
        <source>Skip this version</source>
        <translation>Diese Version überspringen</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>Später</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>Not opening %1 - only http and https addresses are opened.</source>
        <translation>%1 wird nicht geöffnet - nur http- und https-Adressen werden geöffnet.</translation>
    </message>
    <message>
        <source>Could not open %1.</source>
        <translation>%1 konnte nicht geöffnet werden.</translation>
    </message>
    <message>
        <source>Download opens a page on %1.</source>
        <translation>Herunterladen öffnet eine Seite auf %1.</translation>
    </message>
</context>
<context>
    <name>ks::UpdateFlow</name>
    <message>
        <source>Checking for updates...</source>
        <translation>Suche nach Updates...</translation>
    </message>
    <message>
        <source>An update check is already running.</source>
        <translation>Die Suche nach Updates läuft bereits.</translation>
    </message>
    <message>
        <source>Check for Updates</source>
        <translation>Nach Updates suchen</translation>
    </message>
    <message>
        <source>No update information published.</source>
        <translation>Keine Update-Informationen veröffentlicht.</translation>
    </message>
    <message>
        <source>The update server has nothing published for this platform at the moment.</source>
        <translation>Der Update-Server bietet für diese Plattform derzeit nichts an.</translation>
    </message>
    <message>
        <source>Up to date - %1 is the current release.</source>
        <translation>Auf dem neuesten Stand - %1 ist die aktuelle Version.</translation>
    </message>
    <message>
        <source>%1 %2 is the current release. You are up to date.</source>
        <translation>%1 %2 ist die aktuelle Version. Sie sind auf dem neuesten Stand.</translation>
    </message>
    <message>
        <source>Version %1 is available and marked critical.</source>
        <translation>Version %1 ist verfügbar und als kritisch eingestuft.</translation>
    </message>
    <message>
        <source>Version %1 is available.</source>
        <translation>Version %1 ist verfügbar.</translation>
    </message>
    <message>
        <source>Update check failed - %1</source>
        <translation>Suche nach Updates fehlgeschlagen - %1</translation>
    </message>
    <message>
        <source>Could not reach the update server.

%1</source>
        <translation>Der Update-Server ist nicht erreichbar.

%1</translation>
    </message>
    <message>
        <source>Version %1 will not be offered again.</source>
        <translation>Version %1 wird nicht mehr angeboten.</translation>
    </message>
</context>
<context>
    <name>ks::VfdPanel</name>
    <message>
        <source>ELAPSED</source>
        <translation>LAUFZEIT</translation>
    </message>
    <message>
        <source>PROGRESS</source>
        <translation>FORTSCHRITT</translation>
    </message>
    <message>
        <source>FILE</source>
        <translation>DATEI</translation>
    </message>
    <message>
        <source>BATCH</source>
        <translation>GESAMT</translation>
    </message>
    <message>
        <source>SCAN</source>
        <translation>SUCHE</translation>
    </message>
    <message>
        <source>TRIM</source>
        <translation>SCHNITT</translation>
    </message>
    <message>
        <source>SKIP</source>
        <translation>AUSGEL.</translation>
    </message>
    <message>
        <source>ERR</source>
        <translation>FEHLER</translation>
    </message>
    <message>
        <source>-50 DB</source>
        <translation>-50 DB</translation>
    </message>
    <message>
        <source>0.50 S</source>
        <translation>0.50 S</translation>
    </message>
    <message>
        <source>HEAD OFF</source>
        <translation>ANFANG AUS</translation>
    </message>
    <message>
        <source>TAIL OFF</source>
        <translation>ENDE AUS</translation>
    </message>
    <message>
        <source>OUT</source>
        <translation>ZIEL</translation>
    </message>
    <message>
        <source>NOT SET</source>
        <translation>NICHT GEWÄHLT</translation>
    </message>
    <message>
        <source>TODAY</source>
        <translation>HEUTE</translation>
    </message>
    <message>
        <source>NO RUN YET</source>
        <translation>NOCH KEIN DURCHGANG</translation>
    </message>
</context>
<context>
    <name>ks::WindowCommands</name>
    <message>
        <source>Check for &amp;Updates...</source>
        <translation>Nach &amp;Updates suchen...</translation>
    </message>
    <message>
        <source>Orrinworks &amp;Website</source>
        <translation>&amp;Website von Orrinworks</translation>
    </message>
    <message>
        <source>&amp;About Kestrova</source>
        <translation>&amp;Über Kestrova</translation>
    </message>
    <message>
        <source>&amp;Add files...</source>
        <translation>Dateien &amp;hinzufügen...</translation>
    </message>
    <message>
        <source>Add &amp;folder...</source>
        <translation>&amp;Ordner hinzufügen...</translation>
    </message>
    <message>
        <source>&amp;Remove selected</source>
        <translation>Auswahl &amp;entfernen</translation>
    </message>
    <message>
        <source>&amp;Clear queue</source>
        <translation>&amp;Warteschlange leeren</translation>
    </message>
    <message>
        <source>&amp;Analyse</source>
        <translation>&amp;Analysieren</translation>
    </message>
    <message>
        <source>&amp;Trim now</source>
        <translation>Jetzt &amp;trimmen</translation>
    </message>
    <message>
        <source>Analyse s&amp;elected</source>
        <translation>Auswahl a&amp;nalysieren</translation>
    </message>
    <message>
        <source>Trim se&amp;lected</source>
        <translation>Auswahl t&amp;rimmen</translation>
    </message>
    <message>
        <source>Retry &amp;failed</source>
        <translation>&amp;Fehlgeschlagene wiederholen</translation>
    </message>
    <message>
        <source>Restore &amp;original</source>
        <translation>&amp;Original wiederherstellen</translation>
    </message>
    <message>
        <source>&amp;Delete backups</source>
        <translation>Sicherungen &amp;löschen</translation>
    </message>
    <message>
        <source>Cop&amp;y result</source>
        <translation>Ergebnis &amp;kopieren</translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation>&amp;Stopp</translation>
    </message>
    <message>
        <source>&amp;Preferences...</source>
        <translation>&amp;Einstellungen...</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>Export re&amp;port (CSV)...</source>
        <translation>&amp;Bericht exportieren (CSV)...</translation>
    </message>
    <message>
        <source>Show fa&amp;iled only</source>
        <translation>Nur fehlgeschlagene &amp;zeigen</translation>
    </message>
</context>
</TS>
