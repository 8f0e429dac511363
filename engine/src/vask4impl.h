// Engine-internal state of a context: open tables, the worker threads and the log.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/file4.h"
#include "engine/vask4.h"

struct DataFile4;

// One background worker: takes one request at a time from its queue and performs it outside
// the queue's lock; waits on its event when the queue is empty.
struct Worker4 {
    std::thread thread;
    std::mutex m;
    std::condition_variable event;
    Request4* head = nullptr;
    Request4* tail = nullptr;
    bool stop = false;
    bool running = false;

    void start();
    void finish();  // tells the thread to stop and joins it
    void post(Request4* r);
};

struct Vask4impl {
    std::vector<Data4*> tables;     // open tables, in opening order
    std::vector<DataFile4*> files;  // open data files (shared by the tables of one file)
    Worker4 reader;
    Worker4 writer;
    bool threads = false;
    // transaction log
    bool logTried = false;
    std::unique_ptr<File4> log;
    int inLog = 0;  // guards against logging the log's own errors
};

// Transaction log entries (nothing happens when no log is open).
void log4open(Vask4* c);
void log4close(Vask4* c);
void log4append(Vask4* c, const char* kind, const char* file, long rec, long extra = 0);
