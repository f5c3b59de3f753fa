#pragma once

// Sets up the process's local time zone (the C library's and Qt's) once. glibc reads TZ and
// /etc/localtime the first time a thread asks for local time, without a lock against a second
// thread doing the same; every program calls this at the top of main, before any worker thread
// starts, so that later calls from fetch threads only read what is already there.
void PrepareTimeZone();
