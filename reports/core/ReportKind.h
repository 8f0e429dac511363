#pragma once
// The reports the program prints: the reservation report, the utilization report and the day
// at a glance. Free of Qt, so the report job below the widgets names them too.

namespace quorvane {

enum class ReportKind { Reservations, Utilization, Day };

}  // namespace quorvane
