#pragma once
// The calendar file as a standard reader gets it back: the Debian python3-icalendar package.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace quorvane::testing {

// The events a standard reader finds in `path`: uid|start|offset|end|summary|description. The
// reader's script is written to `script`.
inline std::vector<std::string> readCalendarBack(const std::string& path,
                                                 const std::string& script) {
    std::ofstream(script) << "import sys, icalendar\n"
                             "cal = icalendar.Calendar.from_ical(open(sys.argv[1], 'rb').read())\n"
                             "for ev in cal.walk('VEVENT'):\n"
                             "    s = ev.decoded('dtstart')\n"
                             "    e = ev.decoded('dtend') if ev.get('dtend') else None\n"
                             "    print('|'.join([str(ev['uid']), s.strftime('%Y%m%dT%H%M'),\n"
                             "        str(int(s.utcoffset().total_seconds())),\n"
                             "        e.strftime('%H%M') if e else '-', str(ev['summary']),\n"
                             "        str(ev.get('description', '')).replace('\\n', '/')]))\n";
    const std::string cmd =
        "PYTHONIOENCODING=utf-8 /usr/bin/python3 '" + script + "' '" + path + "' 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[4096];
    while (std::size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    const int status = pclose(p);
    EXPECT_EQ(status, 0) << out;
    std::vector<std::string> events;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) events.push_back(line);
    return events;
}

}  // namespace quorvane::testing
