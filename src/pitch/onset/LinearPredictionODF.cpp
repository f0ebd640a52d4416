#include "pitch/onset/LinearPredictionODF.h"

#include "debug/Debugging.h"

int LinearPredictionODF::get_order()
{
    return order;
}

void LinearPredictionODF::set_order(int value)
{
    if (value < 0) {
        LOG_ERROR("pitch", "prediction order %d is negative; keeping %d", value, order);
        return;
    }
    destroy();
    order = value;
    init();
}

void LinearPredictionODF::set_frame_size(int value)
{
    if (!checkFrameSize(value))
        return;
    destroy();
    frame_size = value;
    init();
}
