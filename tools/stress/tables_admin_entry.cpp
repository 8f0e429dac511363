// quorvane-tables compiled once more, into quorvane-stress: the fault sweep runs its pack,
// reindex and repair under a fault-injecting seam, exactly as the tool runs them.
#define main quorvaneTablesMain
#include "../tables_admin.cpp"
#undef main
