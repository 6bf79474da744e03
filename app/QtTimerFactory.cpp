#include "app/QtTimerFactory.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimerEvent>

class QtTimerFactory::QtTimer : public Timer {
public:
    explicit QtTimer(QtTimerFactory& owner) : owner_(owner) {}
    ~QtTimer() override { Stop(); }

    void Start(int ms) override {
        Stop();
        id_ = owner_.startTimer(ms, Qt::PreciseTimer);
        if (id_ != 0) owner_.running_[id_] = this;
    }
    void Stop() override {
        if (id_ == 0) return;
        owner_.killTimer(id_);
        owner_.running_.erase(id_);
        id_ = 0;
    }
    bool IsActive() const override { return id_ != 0; }
    // A copy: the callback may destroy this timer.
    void Fire() {
        auto callback = callback_;
        if (callback) callback();
    }

private:
    QtTimerFactory& owner_;
    int id_ = 0;
};

std::unique_ptr<Timer> QtTimerFactory::CreateTimer() {
    return std::make_unique<QtTimer>(*this);
}

void QtTimerFactory::timerEvent(QTimerEvent* event) {
    const auto it = running_.find(event->timerId());
    if (it != running_.end()) it->second->Fire();
}

namespace {

class QtReadyWatch : public ReadyWatch {
public:
    QtReadyWatch(std::intptr_t descriptor, std::function<void()> onReady)
        : notifier_(new QSocketNotifier(static_cast<qintptr>(descriptor), QSocketNotifier::Read)) {
        QObject::connect(notifier_, &QSocketNotifier::activated, notifier_,
                         [onReady = std::move(onReady)] {
                             auto callback = onReady;
                             callback();
                         });
    }
    // The notifier may be the one whose signal is being delivered: it goes quiet now and
    // away once the event loop is back.
    ~QtReadyWatch() override {
        if (!notifier_) return;
        notifier_->setEnabled(false);
        notifier_->deleteLater();
    }

private:
    QPointer<QSocketNotifier> notifier_;
};

}  // namespace

std::unique_ptr<ReadyWatch> QtTimerFactory::WatchReadable(std::intptr_t descriptor,
                                                          std::function<void()> onReady) {
    if (descriptor < 0) return nullptr;
    return std::make_unique<QtReadyWatch>(descriptor, std::move(onReady));
}
