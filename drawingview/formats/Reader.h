#pragma once

// Readers turn a file into a Document. Each answers from the first bytes (and
// the file name's suffix) how well it can read a file; the registry picks
// the best. A reader throws ReadError, never crashes, and never allocates
// without bound because a count field in the file says so.

#include "model/Document.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace dv {

class ReadError : public std::runtime_error {
public:
    // The message names the file and what is wrong with it.
    ReadError(const QString& fileName, const QString& problem);
    QString problem() const { return m_problem; }

private:
    QString m_problem;
};

// Percentage 0..100; readers call it at least every few percent of the file.
using ProgressFn = std::function<void(int percent)>;

class Reader {
public:
    virtual ~Reader() = default;
    virtual QString name() const = 0;
    // 0: cannot read it; otherwise higher is better. Content counts more than
    // the suffix: a reader that recognises the bytes answers 100 or more, one
    // that only knows the suffix answers 1..99. From kUnsharedSignature on,
    // the bytes are a signature no other format shares, and no other reader
    // is asked.
    static constexpr int kUnsharedSignature = 120;
    virtual int score(const QByteArray& head, const QString& suffix) const = 0;
    virtual std::unique_ptr<Document> read(const QString& path,
                                           const ProgressFn& progress) const = 0;
};

class ReaderRegistry {
public:
    // The registry with every built-in reader.
    static const ReaderRegistry& builtin();

    void add(std::unique_ptr<Reader> reader);
    const Reader* choose(const QByteArray& head, const QString& suffix) const;
    // Throws ReadError when no reader fits or reading fails.
    std::unique_ptr<Document> load(const QString& path, const ProgressFn& progress = {}) const;

private:
    std::vector<std::unique_ptr<Reader>> m_readers;
};

} // namespace dv
