#pragma once

class QWidget;

// A question engine of the application: started, replayed, aborted and reset by its screen.
class Question {
public:
    enum WidgetType { QuestionWidget = 0, FeedbackWidget = 1 };

    virtual ~Question() = default;
    virtual int start(bool retry) = 0;
    virtual void replay() {}
    virtual int abort() = 0;
    virtual void reset() = 0;
    virtual QWidget* getWidget(WidgetType type) = 0;
    virtual void showFeedback() = 0;
};
