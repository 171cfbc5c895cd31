// Private: reach into the shared discovered-board list for tests and test hooks.
#pragma once

#include "vesk_impl.h"

struct vesk_test_access {
    static void insert(server_info* info) { vesk_impl::server_list_insert(info); }
    static void release() { vesk_impl::server_list_release(); }
    static list_node* list_head() { return &vesk_impl::slist; }
    static server_info* by_dev_id(int id) { return vesk_impl::server_get_list_by_dev_id(id); }
    static server_info* by_machine_id(const char* id) { return vesk_impl::server_get_dev_id_by_machine_id(id); }
};
