"""track-predict: pass predictions from orbital elements for the station console."""
