#pragma once

#include "picture.h"

#include <QHash>
#include <QObject>

#include <memory>
#include <optional>

// Decodes pictures away from the user-interface thread, one at a time per loader. Each request
// gets a ticket; the result comes back on the thread that owns the loader, through loaded().
// A cancelled request is skipped if it has not started, and stopped mid-way where the decoder
// allows if it has; its result is never delivered. Destroying the loader never waits for a
// decode: a running one is cancelled and left to end on its own, touching nothing of the loader.
class AsyncPictureLoader : public QObject
{
    Q_OBJECT
public:
    explicit AsyncPictureLoader(QObject *parent = nullptr);
    ~AsyncPictureLoader() override;

    // Decodes `path` for display within `target` pixels (invalid size: at its natural size).
    int request(const QString &path, const QSize &target);
    // Decodes what a viewport of `viewport` pixels shows of `path` at its own size, centred.
    int requestVisible(const QString &path, const QSize &viewport);
    // Decodes the whole of `path` cheaply for a view showing it within `target` pixels (see
    // pictures::loadReduced): what a zoomed-out view shows until the full picture arrives.
    int requestReduced(const QString &path, const QSize &target);
    void cancel(int ticket);

    // The ticket of a request for the same decode not yet delivered (0: none), so a caller that
    // needs a picture now can adopt one already asked for instead of decoding it again.
    int findRequest(const QString &path, const QSize &target) const;
    int findVisible(const QString &path, const QSize &viewport) const;
    int findReduced(const QString &path, const QSize &target) const;
    // Waits for one request (moved ahead of the others if it has not started) and returns its
    // result, which is then not delivered through loaded(); nothing for a ticket that was
    // delivered, cancelled or never given.
    std::optional<pictures::LoadResult> waitFor(int ticket);

    // Waits until every request has finished and delivers what is pending (tests, shutdown).
    void waitForDone();
    // Waits, delivering, until nothing is asked any more, requests made on delivery included
    // (tests and benchmarks).
    void waitUntilIdle();
    int pending() const { return int(m_tickets.size()); }

Q_SIGNALS:
    void loaded(int ticket, const pictures::LoadResult &result);

public:
    struct Shared;
    // What a request decodes: scaled to a size (invalid: natural), the visible part, reduced.
    enum class Kind { Scaled, Visible, Reduced };

private:
    int start(const QString &path, const QSize &size, Kind kind);
    int find(const QString &path, const QSize &size, Kind kind) const;
    void deliver(int ticket);

    struct Request
    {
        QString path;
        QSize size;
        Kind kind = Kind::Scaled;
    };

    std::shared_ptr<Shared> m_shared;
    int m_nextTicket = 1;
    QHash<int, Request> m_tickets; // requested, not yet delivered or cancelled
};
