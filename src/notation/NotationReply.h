#pragma once

#include <QJsonObject>
#include <QString>

// The answer to one engine request: the host's result, or why there is none.
struct NotationReply {
    enum Status {
        Ok,
        Refused,      // the engine answered with an error (bad code, unknown handle, ...)
        EngineError,  // no answer: the host could not start, died, timed out or its engine aborted
    };
    Status status = EngineError;
    QJsonObject data;
    QString error;
    int line = -1;  // position of a parse error, when the engine gives one
    int column = -1;

    bool ok() const { return status == Ok; }
};
