#pragma once

namespace edufrmwk {

// Result codes of the learner framework. Callers treat anything but RC_OK as failure.
enum : int {
    RC_OK = 0,
    RC_DB_ERROR = 200,        // a statement failed, or a row the operation needs is not there
    RC_EMPTY_CREDENTIALS = 201,
    RC_DB_OPEN_FAILED = 202,
    RC_USER_LOOKUP_FAILED = 203,  // also a wrong credential or a session already open
    RC_USER_EXISTS = 204,
    RC_NO_SUCH_USER = 205,
};

}  // namespace edufrmwk
