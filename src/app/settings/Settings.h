#pragma once

#include <QMap>
#include <QObject>
#include <QString>

class NoteInput;
class NoteInputSource;

// The learner's audio and input preferences. Each property is one row of the settings table
// (name = property name, value = its text) and takes effect at once: devices, volume and
// sensitivity in the audio layer, microphone thresholds in the pitch detector, default sources in
// the note inputs. Every setter stores, signals and applies, also when the value is unchanged.
class Settings : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString output_device READ output_device WRITE set_output_device NOTIFY changed_output_device)
    Q_PROPERTY(double output_volume READ output_volume WRITE set_output_volume NOTIFY changed_output_volume)
    Q_PROPERTY(QString input_device READ input_device WRITE set_input_device NOTIFY changed_input_device)
    Q_PROPERTY(double input_sensitivity READ input_sensitivity WRITE set_input_sensitivity
                   NOTIFY changed_input_sensitivity)
    Q_PROPERTY(double input_mic_noise_floor READ input_mic_noise_floor WRITE set_input_mic_noise_floor
                   NOTIFY changed_input_mic_noise_floor)
    Q_PROPERTY(double input_mic_peak_amplitude READ input_mic_peak_amplitude WRITE set_input_mic_peak_amplitude
                   NOTIFY changed_input_mic_peak_amplitude)
    Q_PROPERTY(bool input_mic_calibrated READ input_mic_calibrated WRITE set_input_mic_calibrated
                   NOTIFY changed_input_mic_calibrated)
    Q_PROPERTY(QString input_default_clapping READ input_default_clapping WRITE set_input_default_clapping
                   NOTIFY changed_input_default_clapping)
    Q_PROPERTY(QString input_default_playing READ input_default_playing WRITE set_input_default_playing
                   NOTIFY changed_input_default_playing)
    Q_PROPERTY(QString input_default_singing READ input_default_singing WRITE set_input_default_singing
                   NOTIFY changed_input_default_singing)

public:
    // The one instance; whoever comes first creates it (with defaults, nothing read or applied).
    static Settings* mp_instance;
    static Settings* getInstance();

    Settings();

    const QString& output_device() const { return m_output_device; }
    double output_volume() const { return m_output_volume; }
    const QString& input_device() const { return m_input_device; }
    double input_sensitivity() const { return m_input_sensitivity; }
    double input_mic_noise_floor() const { return m_input_mic_noise_floor; }
    double input_mic_peak_amplitude() const { return m_input_mic_peak_amplitude; }
    bool input_mic_calibrated() const { return m_input_mic_calibrated; }
    const QString& input_default_clapping() const { return m_input_default_clapping; }
    const QString& input_default_playing() const { return m_input_default_playing; }
    const QString& input_default_singing() const { return m_input_default_singing; }

    void set_output_device(const QString& value);
    void set_output_volume(double value);
    void set_input_device(const QString& value);
    void set_input_sensitivity(double value);
    void set_input_mic_noise_floor(double value);
    void set_input_mic_peak_amplitude(double value);
    void set_input_mic_calibrated(bool value);
    void set_input_default_clapping(const QString& value);
    void set_input_default_playing(const QString& value);
    void set_input_default_singing(const QString& value);

    // Reads every property from its row (a missing row gives the default) and writes it through
    // its setter, so every value is stored back, signalled and applied. A row that is not a number
    // (or a flag) where one is due, or out of its range, gives the default with a WARN line and is
    // left as it is, for the learner to set again; every setter refuses such values the same way.
    void load();
    void save();
    void saveProperty(const QString& name, const QString& value);
    int loadProperty(const QString& name, QString& value);
    void apply() {}
    void gen_init_defaults();
    const QMap<QString, QString>& defaults() const { return m_defaults; }

    // The stored text of a value: numbers in general notation with up to 15 significant digits.
    static QString storedText(const QVariant& value);
    // Whether a value suits the property: numbers finite and within the property's range, names
    // not empty.
    static bool inRange(const QString& name, const QVariant& value);
    // Whether a noise floor would silence a microphone calibrated to that peak amplitude (a floor
    // not below a tenth of it): such a floor is refused like a value out of range.
    static bool noiseFloorSilencesPeak(double floor, double peak);
    // Whether a stored text reads as a value of the given type.
    static bool readable(int type, const QString& text);

    NoteInput* getNoteInput(const QString& kind);
    NoteInputSource* getNoteInputSource(const QString& kind, const QString& source);
    void setDefaultInputSource(const QString& kind, const QString& sourceName);

    void setOutputDevice(const QString& name);
    void setOutputVolume(double volume);
    void setInputDevice(const QString& name);
    void setInputSensitivity(double sensitivity);
    void setPitchDetectorNoiseFloor(double value);
    void setPitchDetectorPeakAmplitude(double value);

signals:
    void changed_output_device();
    void changed_output_volume();
    void changed_input_device();
    void changed_input_sensitivity();
    void changed_input_mic_noise_floor();
    void changed_input_mic_peak_amplitude();
    void changed_input_mic_calibrated();
    void changed_input_default_clapping();
    void changed_input_default_playing();
    void changed_input_default_singing();

private:
    // The source to use for an input kind: the value when that input has such a source, else the
    // default (with a warning), so a bad row or a bad write from QML never reaches the note input.
    QString usableInputSource(const QString& property, const QString& kind, const QString& value);
    // True when value is in range; else value becomes the default, with a WARN line.
    template <typename T>
    bool acceptValue(const char* name, T& value);
    // Says why a noise floor is refused against that peak; returns the default floor.
    double refusedNoiseFloor(double floor, double peak) const;
    // Stores an accepted value, unless load() is applying a default over an unreadable row.
    void store(const QString& name, const QString& value, bool accepted);

    QString m_output_device;
    double m_output_volume;
    QString m_input_device;
    double m_input_sensitivity;
    double m_input_mic_noise_floor;
    double m_input_mic_peak_amplitude;
    bool m_input_mic_calibrated;
    QString m_input_default_clapping;
    QString m_input_default_playing;
    QString m_input_default_singing;
    QMap<QString, QString> m_defaults;
    bool m_keepRows = false;
};
