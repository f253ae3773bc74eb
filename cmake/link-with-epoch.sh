#!/bin/sh
# Runs the link with SOURCE_DATE_EPOCH as the program's time stamp, or else a fixed one (the date
# the usage text carries): two builds of one commit give the same bytes.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-1405296000}
export SOURCE_DATE_EPOCH
exec "$@"
