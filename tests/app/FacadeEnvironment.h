#pragma once

#include <QString>

class LmsCourse;

// The learner framework as the shell leaves it before the screens exist: a scratch data
// directory, the course at path loaded with a state object on every element, and the local
// account logged in. Once per process (the framework is made of singletons).
LmsCourse* startFramework(const QString& coursePath);

// Forgets every state, answer, mark and rating and logs in again, so the first grade, its
// subjects and their first elements are open and the first activity is current.
void restartProgress();
