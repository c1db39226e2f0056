[QUILLO_TEMPLATE_TEXT]
Message from the contact form, sent ##DATE##

From:     ##FirstName## ##Name## <##Email##>
Company:  ##Company##
Address:  ##Street##
          ##Street2##
          ##Zip## ##City## ##State##
          ##Country##

##Comments##

--
Visitor address ##REMOTE_ADDR##, browser ##HTTP_USER_AGENT##
[QUILLO_TEMPLATE_HTML]
<html>
<head><meta http-equiv="Content-Type" content="text/html; charset=iso-8859-1"></head>
<body>
<h2>Message from the contact form</h2>
<table border="1" cellpadding="3">
<tr><td>Sent</td><td>##DATE##</td></tr>
<tr><td>From</td><td>##FirstName## ##Name## &lt;<a href="mailto:##Email##">##Email##</a>&gt;</td></tr>
<tr><td>Company</td><td>##Company##</td></tr>
<tr><td>Address</td><td>##Street##<br>##Street2##<br>##Zip## ##City## ##State##<br>##Country##</td></tr>
<tr><td>Comments</td><td style="white-space: pre-wrap">##Comments##</td></tr>
</table>
<p><small>Visitor address ##REMOTE_ADDR##, browser ##HTTP_USER_AGENT##</small></p>
</body>
</html>
