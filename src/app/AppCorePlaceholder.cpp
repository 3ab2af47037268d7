// Settings and error catalogue; their sources arrive with the foundation work.
