// Keeps the shell library non-empty while it is being grown.
