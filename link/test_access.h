// Private: reach into the link object's list for tests and test hooks.
#pragma once

#include "vesk.h"

struct vesk_test_access {
    static void insert(server_info* info) { vesk::server_list_insert(info); }
    static void release() { vesk::server_list_release(); }
    static list_node* list_head() { return &vesk::slist; }
    static int server_count(const vesk& v) { return v.server_count; }
    static server_info* by_dev_id(int id) { return vesk::server_get_list_by_dev_id(id); }
    static server_info* by_machine_id(const char* id) { return vesk::server_get_dev_id_by_machine_id(id); }
};
