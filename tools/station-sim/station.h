#pragma once
#include "controller.h"
#include "demodserver.h"
#include "passsource.h"
#include "transcript.h"

#include <QObject>
#include <memory>

class QSocketNotifier;

// The whole stand-in: the controller board, the demodulator, the pass source,
// the transcript, and the control channel on stdin that switches faults.
class Station : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        Controller::Options controller;
        sim::CoreConfig core;
        beam::Params beam;
        quint16 demodPort = 6002;
        bool demodOn = true;
        bool passSourceOn = false;
        PassSource::Options passes;
        QString transcriptPath;
        QStringList faults; // "[+S ]command"
        bool controlChannel = true;
    };

    explicit Station(const Options &options, QObject *parent = nullptr);
    ~Station() override;

    // Opens everything; on failure the reason and false (nothing left behind).
    bool start(QString *error);
    // Orderly end: removes the link, closes the port and the transcript.
    void shutdown();

    // Runs one control command; the answer line ("ok ..." / "error: ...").
    QString execute(const QString &line);

signals:
    void quitRequested();
    void output(const QString &line);

private:
    void readControl();
    QString readyLine() const;

    Options m_options;
    Transcript m_transcript;
    Controller *m_controller = nullptr;
    DemodServer *m_demod = nullptr;
    PassSource *m_passes = nullptr;
    QSocketNotifier *m_stdin = nullptr;
    QByteArray m_stdinBuffer;
    bool m_down = false;
};
