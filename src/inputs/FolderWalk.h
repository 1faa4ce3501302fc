#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace pelmora {

// What a walk tells its caller while it runs, and which links it takes.
struct WalkHooks
{
    // Called once for every folder the walk opens, before it reads it; a window
    // processes its events here. Returning false stops the walk.
    std::function<bool(const QString &folder)> progress;
    // A folder that could not be read for a reason other than missing access or having
    // vanished. Without it such failures pass silently.
    std::function<void(const QString &description)> failed;
    // A folder or file the walk could not read, with why: a folder closed to us, a path
    // longer than the system opens, or any failure `failed` would be told. Without it
    // the first two pass silently, as the folder button wants.
    std::function<void(const QString &path, const QString &why)> unreadable;
    // Links to folders are entered, and links to files outside the starting folder taken.
    // Off, a walk stays inside the folder it started in (a link to "/" in an unpacked
    // archive must not make it read the whole machine): it takes only links to files
    // whose target lies inside that folder.
    bool followLinks = false;
    // Hidden files and folders (names beginning with ".") below the starting folder are read
    // too. Off, as ripgrep and fd do, they are left out and counted (FolderScan::hiddenLeftOut).
    bool hidden = false;
};

// The names of the files in one folder that match a wildcard pattern ("*.pdf" ignores
// letter case; "*.*" takes every name), hidden ones and links to files included, in
// listing order: case-insensitive, ties broken case-sensitively. A missing folder lists
// nothing; other failures throw AppError.
QStringList GetFilesInFolder(const QString &folder, const QString &pattern);

// Extends FolderList (entries end in "/") with the sub-folders of its entries, level by
// level: first every folder one level down, in the parents' order, then two levels down,
// and so on; one recursion per level, so deep trees cost stack only per level. Hidden
// folders below the starting ones are entered as `hooks.hidden` says; folders that deny
// access or vanish are removed; links are taken as `hooks.followLinks` says, and a real
// folder reached a second time, through a link or an alias, is removed, so every walk
// ends. A sub-folder is entered only as the folder its parent listed: one replaced
// meanwhile (by a link, or by another folder) is named to `hooks.unreadable` and removed.
// Returns false when the progress hook stopped the walk.
bool GetSubDirectories2016(QStringList &FolderList, bool recurse, const WalkHooks &hooks = {});

class Walker;

// Turns a folder into the rows the file list appends for it: every file in it and in all
// its sub-folders that matches the pattern ("*.pdf" for the folder button, "*.*" for a
// dropped folder), in the walk's folder order, hidden ones as `hooks.hidden` says. Each
// folder is read once. A window walks step by step, one folder at a
// time, so it can handle its events in between; filesIn walks the whole tree at once.
class FolderScan
{
public:
    explicit FolderScan(const QString &pattern, WalkHooks hooks = {});
    ~FolderScan();
    FolderScan(const FolderScan &) = delete;
    FolderScan &operator=(const FolderScan &) = delete;

    QStringList filesIn(const QString &folder);

    // A scan of `folder`, replacing any scan begun before.
    void start(const QString &folder);
    // Reads the next folder; false when the scan is complete or was stopped.
    bool step();
    // The rows found since the last call.
    QStringList takeRows();
    // True when the progress hook stopped the scan; its rows are then incomplete.
    bool stopped() const;
    // The hidden folders, and hidden files matching the pattern, left out by every scan so far.
    qsizetype hiddenLeftOut() const;

private:
    QString m_pattern;
    WalkHooks m_hooks;
    std::unique_ptr<Walker> m_walker;
    qsizetype m_hiddenBefore = 0; // by the scans before the current one
};

} // namespace pelmora
