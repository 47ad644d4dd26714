#!/bin/sh
# Stands in for a browser that starts and never answers on its DevTools pipe.
exec sleep 600
