#pragma once
// The booking mode of quorvane-stress (booking_stress.cpp).
#include <string>

struct BookingStressOptions {
    std::string folder;     // where the group, its tables and the logs stay after the run
    std::string groupPath;  // folder + "/Stress Courts.rec"
    int processes = 4;
    double seconds = 60;
    unsigned seed = 1;
    double killEvery = 20;  // seconds between kills; 0: none
    std::string zone = "Europe/Amsterdam";
};

// Runs the workers and the verifier; prints the figures and, last, the verdict. 0 when sound.
int runBookingStress(const BookingStressOptions& options);
