// The signals that end a console from outside (SIGTERM, SIGINT, SIGHUP)
// taken through the event loop: the handler only writes the signal's number
// to a socket pair, and a notifier on the other end reports it on the
// window's thread, where the console closes the ordinary way (a held jog
// sends its stop word first, the port closes, the program ends). A second
// signal of the same kind while the first is being handled changes nothing.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace vq {

class SignalWatch : public QObject {
    Q_OBJECT
public:
    // One watch a process; the signals keep their old handlers when it goes.
    explicit SignalWatch(QObject* parent = nullptr);
    ~SignalWatch() override;

    bool installed() const { return notifier_ != nullptr; }

signals:
    void arrived(int signalNumber);

private:
    void readPipe();
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace vq
