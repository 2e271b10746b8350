<html>
<head>
<title>Contact</title>
</head>
<body>
<h1>Contact</h1>
<p>Ring the bell. <a href="thanks.html">Thanks</a></p>
</body>
</html>
