import QtQuick 2.15

// The course item's enumerations, as the program registers them.
QtObject {
    enum Type { UnknownType, Module, Learning, Exercise, Test, Practice, EndOfCourse }
    enum State { None, Locked, Unlocked, Aborted, Completed, Invalid }
}
