#pragma once

// One frame of samples in, one number out that rises when a note begins.
class OnsetDetectionFunction {
public:
    OnsetDetectionFunction();
    virtual ~OnsetDetectionFunction();

    virtual void window_frame(double* frame);
    virtual int get_sampling_rate();
    virtual int get_frame_size();
    virtual int get_hop_size();
    virtual void set_sampling_rate(int value);
    virtual void set_frame_size(int value);
    // A hop of 0 or less would never advance; it is refused and the old hop kept.
    virtual void set_hop_size(int value);
    virtual double process_frame(int size, double* frame);

    // The function over a whole signal, normalised to its largest value, which is returned.
    // Throws modal::Exception when odf_size is below the frame count.
    double process(int signal_size, double* signal, int odf_size, double* odf);

protected:
    // Sizes this function can analyse; spectral members need an even size of at least 4.
    virtual bool acceptsFrameSize(int size) const { return size >= 1; }
    // The size check at the top of process_frame: adopts a differing size with the warning;
    // false when the size cannot be analysed and the frame must be skipped.
    bool adoptFrameSize(int size);
    // set_frame_size's guard: false (with an error line) for a size that cannot be analysed.
    bool checkFrameSize(int size) const;

    int sampling_rate;
    int frame_size;
    int hop_size;
    double* window;
};
