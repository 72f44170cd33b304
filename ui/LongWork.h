#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>

class QDialog;
class QEventLoop;
class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

// Runs a window's long work on a worker thread while the window thread goes
// on painting. Meanwhile input to every window but the progress window is
// dropped, so that no other command starts; Esc in the owner passes, as
// closing the owner cancels the work first. A run quicker than half a second
// shows only the busy cursor; a longer one shows a modal progress window:
// the work's own line, a bar, the time taken and left, and Cancel.
class LongWork : public QObject {
    Q_OBJECT
public:
    // What the work sees; every call is safe from any thread.
    class Control {
    public:
        bool cancelled() const { return cancel_.load(); }
        // For work that polls a flag of its own.
        const std::atomic<bool>* cancelFlag() const { return &cancel_; }
        // How far the work is: value out of maximum (0: not known), and the
        // line the progress window shows above the bar.
        void report(int value, int maximum, const QString& text);

    private:
        friend class LongWork;
        std::atomic<bool> cancel_{false};
        std::mutex lock_;
        int value_ = 0;
        int maximum_ = 0;
        QString text_;
    };

    // The progress window is named `name` and captioned `title`.
    LongWork(QWidget* owner, const QString& name, const QString& title);

    // Runs work on a worker thread and returns once it has ended, the window
    // thread serving events meanwhile. False when it was cancelled. An
    // exception of the work is rethrown here, once the run is wound up.
    bool run(const std::function<void(Control&)>& work);
    bool running() const { return running_; }
    // Asks the work to stop after what is under way.
    void cancel();
    // For the owner's done(): while running, cancels, keeps the result for
    // deferredClose() and returns true; otherwise returns false.
    bool deferClose(int result);
    std::optional<int> deferredClose() const { return closeResult_; }

    QDialog* window;
    QLabel* text;
    QLabel* time;
    QProgressBar* bar;
    QPushButton* cancelButton;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showWindow();
    void refresh();

    QWidget* owner_;
    Control control_;
    bool running_ = false;
    std::optional<int> closeResult_;
    QEventLoop* returnLoop_ = nullptr;
    QElapsedTimer clock_;
};
