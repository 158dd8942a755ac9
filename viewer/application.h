#pragma once

// The viewer's application object. Errors escaping an event handler end that
// handler only: they are shown in one standard error box and the program goes
// on.

#include <QApplication>

#include <concepts>
#include <exception>
#include <functional>

class TApplication : public QApplication {
    Q_OBJECT
public:
    using ErrorReporter = std::function<void(const QString& message)>;

    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Replaces the error box, e.g. so tests can see the report.
    void setErrorReporter(ErrorReporter reporter) { m_reporter = std::move(reporter); }

    // Handlers called back from Qt signals or from the control must not let
    // an exception unwind through Qt or engine frames; they park it here and
    // the innermost running notify() reports it once the event is done.
    static void parkException(std::exception_ptr error);

    static QString messageOf(std::exception_ptr error);

private:
    void reportParked();
    void report(const QString& message);

    ErrorReporter m_reporter;
};

// Wraps a handler so that an exception it raises reaches the application's
// error report instead of the caller.
template <typename F> auto guarded(F handler) {
    // Constrained, so Qt's connect() can find how many signal arguments it takes.
    return [handler = std::move(handler)](
               auto&&... args) -> void requires std::invocable<const F&, decltype(args)...> {
        try {
            handler(std::forward<decltype(args)>(args)...);
        } catch (...) {
            TApplication::parkException(std::current_exception());
        }
    };
}
