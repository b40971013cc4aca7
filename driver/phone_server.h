#pragma once
// The phone page: a small read-only HTTP/1.1 server on a thread of its own
// that shows the user, on a phone at the dish, what the program's meter
// shows. The driver's tuner calls note what they answered; the server reads
// those notes and never calls the tuner, so it cannot delay the program's
// poll. Switched on by the [phone] section of the driver's ini.
#include <cstddef>
#include <cstdint>
#include "driver/phone_http.h"

// Reads [phone] from the ini's text and starts the server when it has a
// port: logs "phone page: http://A.B.C.D:PORT/" once per interface. A port
// in use, or a bad section, gives a log line and a box, and the tuner works
// on. Only one server per process: false when this call did not start one.
bool StartPhoneServer(const char* iniText, size_t length);
// Ends the server's thread and closes its connections, within 0.5 s.
void StopPhoneServer();

// What the program was told, as its signal poller takes it: a new tune
// (which clears the peak), a failed lock check (the poller then sets its
// SNR to 0), the level written by GetSignalPercent, and the SNR written by
// GetSignalToNoise with the figure that fills the quality bar.
void PhoneNoteTune(uint32_t frequencyKhz, uint32_t polarization, uint32_t symbolRate);
void PhoneNoteLockFailed();
void PhoneNotePercent(uint32_t written);
void PhoneNoteSnr(float written, float fullScale);
// The satellite the stream comes from; nullptr when it is not known.
void PhoneNoteSatellite(const PhoneSatellite* satellite);
