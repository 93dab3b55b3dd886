#pragma once

#include <QString>

namespace tavrin {

// The state the window shows for the sync, with its payload (a device name, a count text or a
// failure message).
struct SyncStatus {
    enum class Kind { connecting, synced, failed, idle, searching };

    Kind kind = Kind::idle;
    QString payload;

    static SyncStatus connecting(const QString& name) { return {Kind::connecting, name}; }
    static SyncStatus synced(const QString& nameOrCount) { return {Kind::synced, nameOrCount}; }
    static SyncStatus failed(const QString& message) { return {Kind::failed, message}; }
    static SyncStatus idle() { return {Kind::idle, {}}; }
    static SyncStatus searching() { return {Kind::searching, {}}; }

    // The raw title; the window shows SyncService::statusTitle(), which uses friendly names.
    QString title() const;

    bool operator==(const SyncStatus&) const = default;
};

} // namespace tavrin
