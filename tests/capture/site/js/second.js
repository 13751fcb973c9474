document.title += ' (both scripts ran)';
