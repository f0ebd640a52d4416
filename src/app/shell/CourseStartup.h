#pragma once

#include <QString>

class LmsCourse;
class LmsElement;

// The course as start-up loads it: the tree under coursePath with a state object on every element.
// Null (with an ERROR line) when it fails to load. The course is never deleted.
LmsCourse* initializeLms(const QString& coursePath);
// One state object per element of the subtree, parents before children, depth first.
void initializeLmsElementState(LmsElement* element);
