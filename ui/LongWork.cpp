#include "LongWork.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <memory>

#include "Toolkit.h"

namespace {
// Work quicker than this shows no progress window.
constexpr int ProgressDelayMs = 500;
constexpr int ProgressRefreshMs = 50;

QString Duration(qint64 ms) {
    const qint64 s = (ms + 500) / 1000;
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(s / 3600)
            .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

bool IsUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
            return true;
        default:
            return false;
    }
}
}  // namespace

void LongWork::Control::report(int value, int maximum, const QString& text) {
    const std::lock_guard<std::mutex> hold(lock_);
    value_ = value;
    maximum_ = maximum;
    text_ = text;
}

LongWork::LongWork(QWidget* owner, const QString& name, const QString& title) : QObject(owner), owner_(owner) {
    window = new QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    window->setObjectName(name);
    window->setWindowTitle(title);
    window->setWindowModality(Qt::ApplicationModal);
    window->setFixedSize(340, 150);
    SetBackground(window, Palette::olive);
    text = MakeLabel(QStringLiteral("progressText"), QString(), window, true);
    text->setGeometry(16, 12, 308, 24);
    time = MakeLabel(QStringLiteral("progressTime"), QString(), window);
    time->setGeometry(16, 38, 308, 24);
    bar = new QProgressBar(window);
    bar->setObjectName(QStringLiteral("progressBar"));
    bar->setGeometry(16, 68, 308, 24);
    cancelButton = MakeButton(QStringLiteral("cancelWork"), StandardButton::Cancel, window);
    cancelButton->setGeometry(122, 104, 95, 32);
    cancelButton->setDefault(true);
    connect(cancelButton, &QPushButton::clicked, this, &LongWork::cancel);
    // Closing the progress window by other means cancels too.
    connect(window, &QDialog::rejected, this, &LongWork::cancel);
}

bool LongWork::run(const std::function<void(Control&)>& work) {
    running_ = true;
    closeResult_.reset();
    control_.cancel_.store(false);
    control_.report(0, 0, QString());
    clock_.start();
    std::exception_ptr error;
    {
        auto busy = std::make_optional<WaitCursor>();
        qApp->installEventFilter(this);

        QEventLoop loop;
        std::unique_ptr<QThread> worker(QThread::create([this, &work, &error] {
            try {
                work(control_);
            } catch (...) {
                error = std::current_exception();
            }
        }));
        connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
        QTimer showTimer;
        showTimer.setSingleShot(true);
        connect(&showTimer, &QTimer::timeout, this, [&] {
            busy.reset();
            showWindow();
        });
        QTimer refreshTimer;
        connect(&refreshTimer, &QTimer::timeout, this, [this] {
            if (window->isVisible())
                refresh();
        });
        worker->start();
        showTimer.start(ProgressDelayMs);
        refreshTimer.start(ProgressRefreshMs);
        loop.exec();
        // The loop also ends when the application quits: the work stops then.
        if (!worker->isFinished())
            control_.cancel_.store(true);
        worker->wait();

        refreshTimer.stop();
        showTimer.stop();
        if (window->isVisible()) {
            window->hide();
            // Back to the owner before anything else shows, so that a window
            // shown next returns to it when closed, as after quick work.
            if (!closeResult_ && !owner_->isActiveWindow()) {
                QEventLoop back;
                returnLoop_ = &back;
                owner_->activateWindow();
                QTimer::singleShot(300, &back, &QEventLoop::quit);
                back.exec();
                returnLoop_ = nullptr;
            }
        }
        qApp->removeEventFilter(this);
        running_ = false;
    }
    if (error)
        std::rethrow_exception(error);
    return !control_.cancelled();
}

void LongWork::cancel() {
    if (!running_ || control_.cancelled())
        return;
    control_.cancel_.store(true);
    cancelButton->setEnabled(false);
    time->setText(QStringLiteral("Stopping after the battles under way..."));
}

bool LongWork::deferClose(int result) {
    if (!running_)
        return false;
    closeResult_ = result;
    cancel();
    return true;
}

void LongWork::showWindow() {
    cancelButton->setEnabled(!control_.cancelled());
    refresh();
    window->show();
    window->raise();
    window->activateWindow();
    cancelButton->setFocus();
}

void LongWork::refresh() {
    int value, maximum;
    QString line;
    {
        const std::lock_guard<std::mutex> hold(control_.lock_);
        value = control_.value_;
        maximum = control_.maximum_;
        line = control_.text_;
    }
    text->setText(line);
    // An unknown maximum shows the busy bar.
    bar->setRange(0, std::max(maximum, 0));
    bar->setValue(std::clamp(value, 0, std::max(maximum, 0)));
    if (control_.cancelled())
        return;
    const qint64 elapsed = clock_.elapsed();
    const QString left = value > 0 && maximum > 0
                             ? QStringLiteral("about ") + Duration(elapsed * (maximum - value) / value)
                             : QStringLiteral("estimating...");
    time->setText(QStringLiteral("Time elapsed: %1     Time left: %2").arg(Duration(elapsed), left));
}

bool LongWork::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowActivate && watched == owner_ && returnLoop_)
        returnLoop_->quit();
    if (!running_ || !IsUserInput(event->type()))
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() == window)
        return false;
    // Esc closes the owner, which cancels the work first.
    if (widget->window() == owner_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
        return false;
    return true;
}
